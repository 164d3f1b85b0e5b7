#include "tests.h"

#include <QFile>

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray userDefinedBig5()
{
    QByteArray bytes;
    auto addLead = [&](int lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail > 0x7E && trail < 0xA1)
                continue;
            bytes.append(char(lead));
            bytes.append(char(trail));
        }
    };
    for (int lead = 0x81; lead <= 0xA0; ++lead)
        addLead(lead);
    for (int lead = 0xFA; lead <= 0xFE; ++lead)
        addLead(lead);
    return bytes;
}
