#pragma once
// What the user reads when the database cannot be read: Traditional Chinese, naming the file.
#include "store/tableread.h"

#include <QString>

namespace morvessa {

// The failure of reading the file at path, with its message.
ReadFailure readFailure(ReadStatus status, const QString &path, std::string detail = {});
// What stands in the way of opening the file, by the system's error number.
QString openFailureMessage(const QString &path, int error);
QString notAFileMessage(const QString &path);
QString stalledMessage(const QString &path, int seconds);
QString readerMissingMessage(const QString &path, const QString &program);
// The reading program was ended by a signal (stopped from outside, or crashed).
QString readerEndedMessage(const QString &path);
QString readerFailedMessage(const QString &path, const QString &program);
// The column file could not be written, or not mapped back to be completed.
QString columnFileWriteMessage(const QString &file, int error);
QString columnFileMapMessage(const QString &file, int error);

} // namespace morvessa
