#include "store/connstring.h"

#include "store/appfolder.h"

namespace morvessa {

QString ConnString;

namespace {
const QString kPrefix = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QString kSuffix = QStringLiteral("\\jst.mdb;Persist Security Info=False");
const QString kTail = QStringLiteral(";Persist Security Info=False");
} // namespace

QString buildConnString(const QString &folder)
{
    return appPath(kPrefix + folder, kSuffix);
}

QString dataSourceOf(const QString &connString)
{
    if (!connString.startsWith(kPrefix) || !connString.endsWith(kTail))
        return QString();
    return connString.mid(kPrefix.size(), connString.size() - kPrefix.size() - kTail.size());
}

} // namespace morvessa
