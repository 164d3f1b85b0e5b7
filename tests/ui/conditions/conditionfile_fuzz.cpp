// Random bytes through the condition file reader: it never fails and every text it gives
// keeps the rules of a condition file's text.
//   conditionfile_fuzz [--seed N] [--runs N] [--max-length N]
// Prints the seed and the number of inputs; on a broken rule, the input in hex and
// exit 1. A short seeded run is one of the tests; a longer one: --runs 10000000.
#include "ui/logic/conditionfile.h"

#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace morvessa;

namespace {

// Mostly the bytes that matter to the reader: line ends, Big5 lead and trail bytes
// (0x5C among them), ASCII, and now and then anything.
char randomByte(QRandomGenerator &random)
{
    static const char interesting[] = {'\r', '\n', '\\', 'a', ' ', '\x80', '\xff', '\xa1', '\xfe', '\x40', '\x7e'};
    switch (random.bounded(6)) {
    case 0:
        return interesting[random.bounded(int(sizeof interesting))];
    case 1:
        return char(0x81 + random.bounded(0x7e)); // lead byte
    case 2:
        return char(0x40 + random.bounded(0x3f)); // low trail byte
    case 3:
        return char(0xa1 + random.bounded(0x5e)); // high trail byte
    case 4:
        return char(0x20 + random.bounded(0x5f));
    default:
        return char(random.bounded(256));
    }
}

// The rule a text broke, or nullptr.
const char *brokenRule(const QByteArray &bytes)
{
    bool exact = false;
    const QString text = conditionText(bytes, &exact);
    if (bytes.isEmpty() != text.isEmpty())
        return "an empty text for bytes, or the reverse";
    if (!text.isEmpty() && !text.endsWith(QStringLiteral("\r\n")))
        return "a text whose last line has no CR LF";
    if (text.count(QLatin1Char('\r')) != text.count(QStringLiteral("\r\n")))
        return "a CR without LF in the text";
    // Through the text box and back.
    QString raw = editorText(text);
    raw.replace(QStringLiteral("\r\n"), QString(QChar(QChar::ParagraphSeparator)));
    if (textFromEditor(raw) != text)
        return "a text that does not come back from the text box";
    if (exact) {
        // Saving adds one line end; reading that gives the same text and one empty line.
        qsizetype bad = -1;
        const QByteArray saved = conditionBytes(text, &bad);
        if (bad >= 0)
            return "an exact text that cannot be saved";
        if (conditionText(saved) != text + QStringLiteral("\r\n"))
            return "a saved exact text that reads back otherwise";
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    quint64 seed = 1;
    long runs = 20000;
    int maxLength = 64;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seed") == 0)
            seed = std::strtoull(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::strtol(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--max-length") == 0)
            maxLength = std::atoi(argv[i + 1]);
    }
    QRandomGenerator random(quint32(seed ^ (seed >> 32)));
    for (long run = 0; run < runs; ++run) {
        QByteArray bytes(random.bounded(maxLength + 1), Qt::Uninitialized);
        for (char &b : bytes)
            b = randomByte(random);
        if (const char *rule = brokenRule(bytes)) {
            std::printf("seed %llu, input %ld: %s\n%s\n", static_cast<unsigned long long>(seed), run, rule,
                        bytes.toHex(' ').constData());
            return 1;
        }
    }
    std::printf("seed %llu: %ld inputs, every rule kept\n", static_cast<unsigned long long>(seed), runs);
    return 0;
}
