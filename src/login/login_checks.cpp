#include "login/login_checks.h"

#include "platform/byte_length.h"

namespace {

constexpr int kNumberLimit = 10;
constexpr int kNameLimit = 12;
constexpr int kBatchLimit = 10;
constexpr int kPasswordLimit = 10;

LoginFault fault(const char* message, int box, int selectLength, bool moveFocus = true)
{
    return LoginFault{QString::fromUtf8(message), box, selectLength, moveFocus};
}

// Empty after trimming, or longer than the limit in bytes.
bool emptyOrOver(const QString& text, int limit)
{
    return trimSpaces(text).isEmpty() || bytelen(text) > limit;
}

// A student number of a test login: exactly ten bytes, all of them single-byte characters.
bool badTestNumber(const QString& text)
{
    if (trimSpaces(text).isEmpty())
        return true;
    const ByteLength length = measureBytes(text);
    return length.bytes != kNumberLimit || length.doubleByte;
}

bool overOrDoubleByte(const QString& text, int limit)
{
    const ByteLength length = measureBytes(text);
    return length.bytes > limit || length.doubleByte;
}

} // namespace

namespace LoginChecks {

std::optional<LoginFault> practiceFields(const QString& number, const QString& name)
{
    if (emptyOrOver(number, kNumberLimit))
        return fault("学号不能为空或者不能超过10位！", 0, kNumberLimit);
    if (emptyOrOver(name, kNameLimit))
        return fault("姓名不能为空或大于12位！", 1, kNameLimit);
    return std::nullopt;
}

std::optional<LoginFault> testFields(const QString& number, const QString& name, const QString& batch)
{
    if (badTestNumber(number))
        return fault("学号不为10位或有中文字符！", 0, kNumberLimit, false);
    if (emptyOrOver(name, kNameLimit))
        return fault("姓名不能为空或大于12位！", 1, kNameLimit);
    if (trimSpaces(batch).isEmpty() || overOrDoubleByte(batch, kBatchLimit))
        return fault("批次号不能为全角字符、不能为空或超过10位！", 2, kBatchLimit);
    return std::nullopt;
}

std::optional<LoginFault> secondLoginPassword(const QString& password)
{
    if (bytelen(password) > kPasswordLimit)
        return fault("密码不能超过10位！", 3, kPasswordLimit);
    return std::nullopt;
}

std::optional<LoginFault> systemFields(const QString& userName, const QString& password)
{
    if (emptyOrOver(userName, kNumberLimit))
        return fault("用户名不能为空或超过10位！", 0, kNumberLimit);
    if (bytelen(password) > kPasswordLimit)
        return fault("密码不能超过10位！", 1, kPasswordLimit);
    return std::nullopt;
}

EnterOutcome enterInBox(int box, LoginMode loginMode, const QString& text)
{
    EnterOutcome outcome;
    switch (box) {
    case 0:
        if (loginMode == LoginMode::Test && badTestNumber(text))
            outcome.fault = fault("学号不为10位或有中文字符！", 0, kNumberLimit, false);
        else if (loginMode == LoginMode::Practice && emptyOrOver(text, kNumberLimit))
            outcome.fault = fault("学号不能为空且不能超过10位！", 0, kNumberLimit);
        else if (loginMode == LoginMode::System && emptyOrOver(text, kNumberLimit))
            outcome.fault = fault("用户名不能为空且不能超过10位！", 0, kNumberLimit);
        else if (loginMode == LoginMode::Practice || loginMode == LoginMode::Test || loginMode == LoginMode::System)
            outcome.next = EnterStep::FocusNextBox;
        break;
    case 1:
        if (loginMode == LoginMode::Practice || loginMode == LoginMode::Test) {
            if (emptyOrOver(text, kNameLimit))
                outcome.fault = fault("姓名不能为空且不能大于12位！", 1, kNameLimit);
            else
                outcome.next = loginMode == LoginMode::Practice ? EnterStep::Confirm : EnterStep::FocusNextBox;
        } else if (loginMode == LoginMode::System) {
            if (bytelen(text) > kPasswordLimit)
                outcome.fault = fault("密码不能超过10位！", 1, kPasswordLimit);
            else
                outcome.next = EnterStep::Confirm;
        }
        break;
    case 2:
        if (trimSpaces(text).isEmpty())
            outcome.fault = fault("批次号不能为空！", 2, 0);
        else if (overOrDoubleByte(text, kBatchLimit))
            outcome.fault = fault("批次号超过10位或有中文字符！", 2, kBatchLimit);
        else
            outcome.next = EnterStep::Confirm;
        break;
    case 3:
        if (overOrDoubleByte(text, kPasswordLimit))
            outcome.fault = fault("密码超过10位或有中文字符！", 3, kPasswordLimit);
        else
            outcome.next = EnterStep::Confirm;
        break;
    default:
        break;
    }
    return outcome;
}

} // namespace LoginChecks
