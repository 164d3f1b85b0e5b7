#include "store/dberror.h"

namespace morvessa {

DbError::DbError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}

} // namespace morvessa
