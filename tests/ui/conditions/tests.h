#pragma once
#include "registry.h"

#include <QByteArray>
#include <QString>

// Test helpers shared by both groups.
QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// Every user-defined Big5 character, lead bytes 0x81-0xA0 and 0xFA-0xFE.
QByteArray userDefinedBig5();
