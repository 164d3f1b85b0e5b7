#include "base/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using morvessa::Failure;
using morvessa::Result;

namespace {

struct Base {
    virtual ~Base() = default;
};
struct Derived : Base {};

// A failure with more to tell, as a library defines one.
struct CodedFailure : Failure {
    int code = 0;
};

Result<int> half(int n)
{
    if (n % 2)
        return Failure{QStringLiteral("「%1」是奇數。").arg(n)};
    return n / 2;
}

// A failure passes up through a caller of another value type.
Result<std::string> halfText(int n)
{
    const Result<int> h = half(n);
    if (!h)
        return h.failure();
    return std::to_string(*h);
}

} // namespace

TEST(Result, HoldsTheValueOrTheFailure)
{
    const Result<int> even = half(8);
    ASSERT_TRUE(even.ok());
    EXPECT_TRUE(bool(even));
    EXPECT_EQ(*even, 4);
    EXPECT_EQ(even.value(), 4);
    EXPECT_TRUE(even.message().isEmpty());

    const Result<int> odd = half(7);
    EXPECT_FALSE(odd.ok());
    EXPECT_FALSE(bool(odd));
    EXPECT_EQ(odd.message(), QStringLiteral("「7」是奇數。"));
    EXPECT_EQ(odd.failure().message, odd.message());

    EXPECT_EQ(*halfText(10), "5");
    EXPECT_EQ(halfText(3).message(), QStringLiteral("「3」是奇數。"));
}

TEST(Result, TakesWhatTheValueIsMadeFromAndMovesItOut)
{
    // A pointer to a derived type, as a reader returns its table.
    Result<std::shared_ptr<const Base>> shared = std::make_shared<Derived>();
    ASSERT_TRUE(shared);
    EXPECT_NE(shared->get(), nullptr);

    Result<std::unique_ptr<int>> owned = std::make_unique<int>(3);
    const std::unique_ptr<int> taken = std::move(owned).value();
    EXPECT_EQ(*taken, 3);

    Result<QString> text = QStringLiteral("文字");
    text = Failure{QStringLiteral("壞了")}; // assignable, as callers keep the last one
    EXPECT_EQ(text.message(), QStringLiteral("壞了"));
}

TEST(Result, VoidAndDerivedFailures)
{
    const Result<void> done;
    EXPECT_TRUE(done.ok());
    EXPECT_TRUE(done.message().isEmpty());

    CodedFailure coded;
    coded.message = QStringLiteral("檔案「a」不見了。");
    coded.code = 2;
    const Result<void, CodedFailure> failed = coded;
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.failure().code, 2);

    // Passed on to a caller that knows only Failure, the message stays.
    const Result<int> plain = failed.failure();
    EXPECT_EQ(plain.message(), QStringLiteral("檔案「a」不見了。"));
}
