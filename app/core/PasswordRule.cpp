#include "PasswordRule.h"

#include "SecureUtil.h"

#include <algorithm>
#include <cstring>

namespace {

// Every printable ASCII character that is neither a letter, a digit nor the space.
constexpr char kSpecials[] = "`~!@#$%^&*()-_=+\\|]}[{'\";:/?.>,<";
constexpr size_t kDigestFieldSize = 129;

bool isSpecial(char c)
{
    return c != '\0' && std::strchr(kSpecials, c) != nullptr;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

PasswordRule::PasswordRule(int minLengthSetting, int maxLengthSetting, int requiredClassesSetting)
    : minLength(minLengthSetting), maxLength(maxLengthSetting), requiredClasses(requiredClassesSetting)
{
}

int PasswordRule::checkPassword(const std::string& password) const
{
    // Space, classes and neighbours look at the text up to its first NUL; the length counts
    // every byte, so a character outside ASCII counts with all its UTF-8 bytes.
    const std::string text = password.substr(0, password.find('\0'));

    if (text.find(' ') != std::string::npos) {
        return RULE_SPACE;
    }

    const size_t length = password.size();
    if (length < static_cast<size_t>(std::max(minLength, 0)) || length > static_cast<size_t>(std::max(maxLength, 0))) {
        return RULE_LENGTH;
    }

    const bool hasDigit = std::any_of(text.begin(), text.end(), isDigit);
    const bool hasLetter = std::any_of(text.begin(), text.end(), isLetter);
    const bool hasSpecial = std::any_of(text.begin(), text.end(), isSpecial);
    if (int(hasDigit) + int(hasLetter) + int(hasSpecial) < requiredClasses) {
        return RULE_CLASSES;
    }

    // Bytes compare as signed 8-bit values, letters by code without folding case, and only the
    // first byte of a pair is tested against the specials.
    for (size_t i = 1; i < text.size(); ++i) {
        const int a = static_cast<signed char>(text[i - 1]);
        const int b = static_cast<signed char>(text[i]);
        if ((b == a || b == a + 1 || b == a - 1) && !isSpecial(text[i - 1])) {
            return RULE_SEQUENCE;
        }
    }
    return RULE_OK;
}

QString PasswordRule::message(int code)
{
    switch (code) {
    case RULE_LENGTH:
        return QString::fromUtf8("비밀번호를 8~20자리로 입력해주세요.");
    case RULE_CLASSES:
        return QString::fromUtf8("비밀번호에 영문, 숫자, 특수문자를 넣어주세요.");
    case RULE_SEQUENCE:
        return QString::fromUtf8("연속된 2자리 영문, 숫자는 사용할 수 없습니다.");
    case RULE_SPACE:
        return QString::fromUtf8("비밀번호에 공백이 존재합니다.");
    default:
        return QString();
    }
}

std::string passwordDigestField(const std::string& password)
{
    std::string field(kDigestFieldSize, '\0');
    const std::string hex = SecureUtil::sha512Hex(password);
    std::copy_n(hex.begin(), std::min(hex.size(), kDigestFieldSize - 1), field.begin());
    return field;
}
