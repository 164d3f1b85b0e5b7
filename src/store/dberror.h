#pragma once
#include <QString>

#include <stdexcept>

namespace morvessa {

// A database failure: missing or damaged file, no table maindata, a missing column,
// a statement the engine rejects. The message is Traditional Chinese and names the file.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

} // namespace morvessa
