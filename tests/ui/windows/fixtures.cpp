#include "fixtures.h"

#include "text/big5.h"
#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "ui/picturebutton.h"

#include <QComboBox>
#include <QFile>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

QString sampleCollection()
{
    return QStringLiteral(MORVESSA_SAMPLE);
}

QString testData(const QString &name)
{
    return QStringLiteral(MORVESSA_TEST_DATA) + QLatin1Char('/') + name;
}

QString GeneratedRows::text(int row, int col) const
{
    ++cellsRead;
    return col == 0 ? QStringLiteral("第%1篇").arg(row + 1) : QStringLiteral("p\\%1.htm").arg(row + 1);
}

QByteArray big5(const QString &text)
{
    return morvessa::big5Encode(text);
}

QString paneText(morvessa::FrmZendrelMain *main)
{
    QString text;
    bool done = false;
    main->readyPane()->page()->toPlainText([&](const QString &plain) {
        text = plain;
        done = true;
    });
    // A pane that never answers leaves the text empty, which the caller's comparison reports.
    if (!QTest::qWaitFor([&done] { return done; }, 5000))
        return QString();
    return text;
}

morvessa::FrmZendrelMain *openMainWindow(const TestFolder &folder,
                                         std::shared_ptr<const morvessa::VariantTable> variants)
{
    using morvessa::FrmIni;
    FrmIni::Show(folder.collection(), std::move(variants));
    if (!FrmIni::loaded())
        return nullptr;
    FrmIni::loaded()->cmdQuery->click();
    return morvessa::FrmZendrelMain::loaded();
}

void pressEnter(morvessa::FrmZendrelMain *main, const QString &query)
{
    main->TxtQuery->setFocus();
    main->TxtQuery->setEditText(query);
    QTest::keyClick(main->TxtQuery, Qt::Key_Return);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
