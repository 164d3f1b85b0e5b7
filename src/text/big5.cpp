#include "text/big5.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <memory>

namespace morvessa {

namespace {

// Code page 950 as Windows has it: the user-defined area FA40.. maps to U+E000.. and
// back, and bytes without a character (0x80, 0xFF) keep their own code points.
constexpr const char *kBig5Name = "windows-950-2000";

struct ConverterCloser {
    void operator()(UConverter *c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openBig5()
{
    UErrorCode status = U_ZERO_ERROR;
    Converter conv(ucnv_open(kBig5Name, &status));
    if (U_FAILURE(status))
        return nullptr;
    return conv;
}

} // namespace

QString big5Decode(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    Converter conv = openBig5();
    if (!conv)
        return QString();
    // Every byte gives at most one UTF-16 code unit.
    QString text(bytes.size(), Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(conv.get(), reinterpret_cast<UChar *>(text.data()), int32_t(text.size()),
                                    bytes.constData(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return QString();
    text.truncate(n);
    return text;
}

QByteArray big5Encode(const QString &text, qsizetype *firstUnmappable)
{
    if (firstUnmappable)
        *firstUnmappable = -1;
    if (text.isEmpty())
        return QByteArray();
    Converter conv = openBig5();
    if (!conv) {
        if (firstUnmappable)
            *firstUnmappable = 0;
        return QByteArray();
    }
    // Stop at the first character without a Big5 form instead of writing a substitute.
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) {
        if (firstUnmappable)
            *firstUnmappable = 0;
        return QByteArray();
    }

    QByteArray out(text.size() * 2, Qt::Uninitialized); // at most two bytes per code unit
    const UChar *const start = reinterpret_cast<const UChar *>(text.constData());
    const UChar *source = start;
    char *target = out.data();
    ucnv_fromUnicode(conv.get(), &target, out.data() + out.size(), &source, start + text.size(), nullptr, true,
                     &status);
    if (U_FAILURE(status)) {
        if (firstUnmappable) {
            // The converter has consumed the offending character; step back over it.
            UChar bad[8];
            int8_t badLength = sizeof bad / sizeof bad[0];
            UErrorCode ignored = U_ZERO_ERROR;
            ucnv_getInvalidUChars(conv.get(), bad, &badLength, &ignored);
            qsizetype index = (source - start) - (U_SUCCESS(ignored) ? badLength : 0);
            *firstUnmappable = qBound(qsizetype(0), index, text.size() - 1);
        }
        return QByteArray();
    }
    out.truncate(target - out.data());
    return out;
}

} // namespace morvessa
