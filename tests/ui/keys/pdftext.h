#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>

// The text pdftotext reads from a PDF file, or a null string when it cannot be read.
inline QString pdfText(const QString &path, const QStringList &options = {})
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), options + QStringList{path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}
