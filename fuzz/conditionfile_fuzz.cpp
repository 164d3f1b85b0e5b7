// The condition file loader: bytes -> a condition file -> loadConditionFile. Every file
// loads, as conditionText decodes its bytes. The rules of the decoded text itself are
// checked by tests/ui/conditions/conditionfile_fuzz.
#include "fuzztarget.h"

#include "ui/logic/conditionfile.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> g_dir;
QString g_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = std::make_unique<QTemporaryDir>();
    g_path = g_dir->filePath(QStringLiteral("fuzz.set"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            fuzz::fail("cannot write the input file");
    }
    const auto load = morvessa::loadConditionFile(QFile::encodeName(g_path));
    if (!load)
        fuzz::fail("a readable file did not load");
    if (load->text != morvessa::conditionText(bytes))
        fuzz::fail("the loaded text differs from the decoded bytes");
    return 0;
}
