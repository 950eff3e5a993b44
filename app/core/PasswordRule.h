#pragma once

#include <QString>

#include <string>

// The local password rules. Both the sign-in and the new-password screen test a password
// here before anything leaves the program, and show the same message for each code.
class PasswordRule
{
public:
    enum Result : int
    {
        RULE_OK = 1,
        RULE_LENGTH = 2,
        RULE_CLASSES = 4,
        RULE_SEQUENCE = 8,
        RULE_SPACE = 16,
    };

    static constexpr int kMinLength = 8;
    static constexpr int kMaxLength = 20;

    // `requiredClasses` is how many of the three classes (digits, letters, specials) must occur.
    PasswordRule(int minLength = kMinLength, int maxLength = kMaxLength, int requiredClasses = 3);

    // `password` is the UTF-8 form of the typed text. The first rule broken decides the code,
    // in the order space, length, classes, neighbours.
    int checkPassword(const std::string& password) const;

    // What the screens show for a code; empty for codes that let the caller go on and send.
    static QString message(int code);

private:
    int minLength;
    int maxLength;
    int requiredClasses;
};

// The value sent in place of a password: the 128 lower-case hex digits of its SHA-512 digest
// followed by one NUL, 129 characters in all. The main program expects the NUL inside the
// JSON string, where the writer emits it as \u0000.
std::string passwordDigestField(const std::string& password);
