// The password rules in their order (space, length, classes, neighbours) and the digest field
// that is sent in place of a password.
#include "JsonText.h"
#include "PasswordRule.h"

#include <QtTest>

#include <string>

Q_DECLARE_METATYPE(std::string)

namespace {

std::string bytes(const char* text, size_t n)
{
    return std::string(text, n);
}

} // namespace

class TestPasswordRule : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<std::string>("password");
        QTest::addColumn<int>("code");
        const int ok = PasswordRule::RULE_OK;
        const int length = PasswordRule::RULE_LENGTH;
        const int classes = PasswordRule::RULE_CLASSES;
        const int sequence = PasswordRule::RULE_SEQUENCE;
        const int space = PasswordRule::RULE_SPACE;

        QTest::newRow("8 bytes") << std::string("Ak3!Pz9%") << ok;
        QTest::newRow("7 bytes") << std::string("Ak3!Pz9") << length;
        QTest::newRow("20 bytes") << std::string("Ak3!Pz9%Qm5@Tx1#Wr7$") << ok;
        QTest::newRow("21 bytes") << std::string("Ak3!Pz9%Qm5@Tx1#Wr7$a") << length;
        QTest::newRow("empty") << std::string() << length;

        // The space rule comes first, even for a short text without classes and with equal neighbours.
        QTest::newRow("space, short") << std::string("a a") << space;
        QTest::newRow("space, equal neighbours") << std::string("aa b") << space;
        QTest::newRow("space otherwise fine") << std::string("Ak3! Pz9%") << space;
        QTest::newRow("tab is no space") << std::string("Ak3!\tPz9%") << ok;

        QTest::newRow("letters and digits") << std::string("Ak3mPz9qW") << classes;
        QTest::newRow("digits only") << std::string("13572468") << classes;
        QTest::newRow("specials only") << std::string("!@#$%^&*") << classes;
        QTest::newRow("classes before equal letters") << std::string("Akk3mPz9") << classes;
        QTest::newRow("equal letters") << std::string("Akk3!Pz9") << sequence;

        QTest::newRow("equal digits") << std::string("Ak3!Pz9%11") << sequence;
        QTest::newRow("next digit") << std::string("Ak3!Pz9%12") << sequence;
        QTest::newRow("previous digit") << std::string("Ak3!Pz9%21") << sequence;
        QTest::newRow("previous letter") << std::string("Ak3!Pz9%ba") << sequence;
        QTest::newRow("Z then [") << std::string("Ak3!Pz9%Z[") << sequence;
        QTest::newRow("9 then :") << std::string("Ak3!Pz9%9:") << sequence;
        QTest::newRow("[ then Z") << std::string("Ak3!Pz9%[Z") << ok;
        QTest::newRow("equal specials") << std::string("Ak3!Pz9%!!") << ok;
        QTest::newRow("neighbouring specials") << std::string("Ak3!Pz9%:;") << ok;
        QTest::newRow("a then A") << std::string("Ak3!Pz9%aA") << ok;
        QTest::newRow("A then a") << std::string("Ak3!Pz9%Aa") << ok;
        QTest::newRow("control bytes") << bytes("Ak3!Pz9%\x01\x02", 10) << sequence;

        // Outside ASCII: no class, every UTF-8 byte counts for the length.
        QTest::newRow("Hangul, 11 bytes") << std::string("Ak3!Pz9%가") << ok;
        QTest::newRow("Hangul, 20 bytes") << std::string("Ak3!Pz9%Qm5@Tx1#W가") << ok;
        QTest::newRow("Hangul, 21 bytes, 19 characters") << std::string("Ak3!Pz9%Qm5@Tx1#Wr가") << length;
        QTest::newRow("Hangul with letters only") << std::string("가나다라Akzm") << classes;

        // Signed bytes: 0x7F and 0x80 are 127 and -128, never neighbours.
        QTest::newRow("0x7F then 0x80") << bytes("Ak3!Pz9%\x7f\x80", 10) << ok;
        QTest::newRow("0x80 then 0x7F") << bytes("Ak3!Pz9%\x80\x7f", 10) << ok;
        QTest::newRow("0xFF then 0xFE") << bytes("Ak3!Pz9%\xff\xfe", 10) << sequence;

        // Only the text before a NUL is looked at, but the length counts every byte.
        QTest::newRow("NUL, short text before it") << bytes("Ak3!\0abcd", 9) << ok;
        QTest::newRow("NUL hides a class") << bytes("Ak3\0!!!!!", 9) << classes;
        QTest::newRow("NUL hides a space") << bytes("Ak3!Pz9%\0 ", 10) << ok;
    }

    void rules()
    {
        QFETCH(std::string, password);
        QFETCH(int, code);
        QCOMPARE(PasswordRule().checkPassword(password), code);
    }

    void digestField()
    {
        // SHA-512 of "abc": FIPS 180-2, appendix C.1.
        const std::string field = passwordDigestField("abc");
        QCOMPARE(field.size(), size_t(129));
        QCOMPARE(field.back(), '\0');
        QCOMPARE(field.substr(0, 128), std::string("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                                                   "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"));
    }

    void digestOfUtf8Password()
    {
        // Over the UTF-8 bytes (computed independently with Python's hashlib).
        QCOMPARE(passwordDigestField(QString::fromUtf8("가나다Ak3!").toUtf8().toStdString()).substr(0, 128),
                 std::string("7f48b88c0f29b77baa4cc8743c5270ae2b1b66e244f6b49c4f585ab7ec849c97"
                             "4e466716e444f8f7c8bf773d91f6613c4a321460b6c5bf597b79a5bf8200c954"));
    }

    void digestFieldOnTheWire()
    {
        Json::Value message(Json::objectValue);
        message["pw"] = passwordDigestField("Ak3!Pz9%");
        const std::string text = JsonText::writeCompact(message);
        QCOMPARE(text, std::string("{\"pw\":\"5f65751745abfb8228c7734aa1a5edea0e1b79635dbcd88d763062ccfa29ebb6"
                                   "9c2df532fa768e5530bc0f304c1f1abfc30717798434c5b512e7d474dd81bdd5\\u0000\"}\n"));
    }
};

QTEST_GUILESS_MAIN(TestPasswordRule)
#include "TestPasswordRule.moc"
