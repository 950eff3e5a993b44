#include "DemoMainProgram.h"

#include "JsonText.h"
#include "LocalText.h"
#include "Protocol.h"

#include <algorithm>

namespace {

constexpr int kUpdateBit = Protocol::BitUpdate;
constexpr int kTextBit = Protocol::BitShowText;
constexpr int kUpdateNotice = Protocol::BitUpdateNotice;
constexpr int kExitNotice = Protocol::kExitNotice;
constexpr int kPhoneDigits = 11;

// Texts the main program shows in the client's box travel in CP949. Short enough for one line.
const char* const kWrongOneTimePassword = "인증번호가 일치하지 않습니다.";
const char* const kNoOneTimePasswordAsked = "인증번호를 먼저 요청해 주세요.";
const char* const kPhoneIncomplete = "휴대폰 번호 11자리를 입력해 주세요.";
const char* const kPcUnavailable = "선택한 PC에 지금 연결할 수 없습니다.";

Json::Value screen(int frameIndex)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = frameIndex;
    return message;
}

Json::Value update(const Json::Value& info)
{
    Json::Value message = screen(kUpdateBit);
    message["Info"] = info;
    return message;
}

Json::Value result(const std::string& text)
{
    Json::Value info(Json::objectValue);
    info["result"] = text;
    return info;
}

// An update with bit 32: the screen on show only shows the text in a box.
Json::Value boxText(const char* utf8, int bits = kUpdateBit | kTextBit)
{
    Json::Value message = screen(bits);
    message["Info"] = result(LocalText::encode(QString::fromUtf8(utf8)));
    return message;
}

int frameIndexOf(const Json::Value& message)
{
    return JsonText::frameIndexOf(message).value_or(-1);
}

// Texts the user typed arrive in CP949; read as the client reads texts.
std::string textOf(const Json::Value& value)
{
    return JsonText::readText(value).value_or(std::string());
}

QString shown(const std::string& cp949)
{
    return LocalText::decode(cp949);
}

bool fullPhoneNumber(const std::string& phone)
{
    return phone.size() == kPhoneDigits &&
           std::all_of(phone.begin(), phone.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool initialPasswordId(const std::string& id)
{
    return id.rfind("new", 0) == 0;
}

} // namespace

DemoMainProgram::DemoMainProgram() : DemoMainProgram(Timing()) {}

DemoMainProgram::DemoMainProgram(const Timing& timing) : timing(timing) {}

Json::Value DemoMainProgram::pcList()
{
    struct Pc
    {
        int key;
        const char* name;
        const char* state;
    };
    // One PC of each kind the list tells apart; only "wait" can be used.
    static const Pc pcs[] = {
        {101, "개발실 PC-01", "wait"},
        {102, "디자인팀 PC-02", "ready"},
        {103, "회의실 PC-03", "broken"},
        {104, "재택근무 PC-04", "ready-fail"},
    };
    Json::Value list(Json::arrayValue);
    for (const Pc& pc : pcs) {
        Json::Value item(Json::objectValue);
        item["resourceKey"] = pc.key;
        item["resourceName"] = pc.name;
        item["state"] = pc.state;
        list.append(item);
    }
    return list;
}

DemoMainProgram::Steps DemoMainProgram::begin()
{
    Json::Value offer(Json::objectValue);
    offer["Update"] = true;
    return {{0, QStringLiteral("checking the installed files"), std::nullopt},
            {timing.checkMs, QStringLiteral("a newer version exists: offering the update"), update(offer)}};
}

DemoMainProgram::Steps DemoMainProgram::react(const Json::Value& message)
{
    if (!message.isObject()) {
        return {{0, QStringLiteral("no reaction: not a JSON object"), std::nullopt}};
    }
    const int index = frameIndexOf(message);
    switch (index) {
    case Protocol::ScreenForgeryCheck:
        return {{0, QStringLiteral("the client takes the update: announcing it"), screen(kUpdateNotice)}};
    case kUpdateNotice:
        return download();
    case Protocol::ScreenSignIn:
        if (message.isMember("login")) {
            return reactToSignIn(message["login"]);
        }
        return {{0, QStringLiteral("back: showing sign-in"), screen(Protocol::ScreenSignIn)}};
    case Protocol::ScreenResetPassword:
        if (message.isMember("user_prove")) {
            return reactToReset(message);
        }
        return {{0, QStringLiteral("the user forgot the password: showing the reset screen"),
                 screen(Protocol::ScreenResetPassword)}};
    case 6:
        if (message["Info"] == Json::Value("BackRutin")) {
            return {
                {0, QStringLiteral("password reset acknowledged: back to sign-in"), screen(Protocol::ScreenSignIn)}};
        }
        return reactToReset(message);
    case Protocol::ScreenNewPassword:
        if (message["Info"] == Json::Value("BackRutin")) {
            return {{0, QStringLiteral("new password acknowledged: back to sign-in"), screen(Protocol::ScreenSignIn)}};
        }
        if (message["NewPW"].isString()) {
            changed.insert(signingIn);
            return {{0, QStringLiteral("new password for %1 stored (digest only)").arg(shown(signingIn)),
                     update(result("CHANGE-PASSWORD-OK"))}};
        }
        break;
    case Protocol::ScreenSelectResource:
        if (message.isMember("ResKey")) {
            return reactToPcChoice(message);
        }
        return showList(QStringLiteral("back from the streaming options"));
    case Protocol::ScreenStreamConfig:
        if (message["Video"].isObject()) {
            const Json::Value& video = message["Video"];
            return showList(QStringLiteral("streaming options saved (codec %1, quality %2)")
                                .arg(QString::fromStdString(textOf(video["Codec"])))
                                .arg(video["Quality"].isInt() ? video["Quality"].asInt() : 0));
        }
        return {{0, QStringLiteral("the user opens the streaming options"), screen(Protocol::ScreenStreamConfig)}};
    case Protocol::BitAckNotice:
        return {{0, QStringLiteral("the user read the notice"), std::nullopt}};
    case kExitNotice:
        return {{0, QStringLiteral("the client is closing: the demo is over"), std::nullopt}};
    default:
        break;
    }
    return {{0, QStringLiteral("no reaction to %1").arg(QString::fromStdString(JsonText::writeCompact(message)).trimmed()),
             std::nullopt}};
}

DemoMainProgram::Steps DemoMainProgram::download()
{
    if (downloaded) {
        return {{0, QStringLiteral("the update is already installed"), std::nullopt}};
    }
    downloaded = true;
    Steps steps{{0, QStringLiteral("the user confirmed the update: downloading"), update(Json::Value(Json::objectValue))}};
    const int stepPercent = std::max(1, timing.downloadStep);
    for (int percent = stepPercent; percent < 100 + stepPercent; percent += stepPercent) {
        Json::Value info(Json::objectValue);
        info["data"] = 0;
        info["per"] = std::min(percent, 100);
        steps.push_back({timing.downloadStepMs, QString(), update(info)});
    }
    steps.back().decision = QStringLiteral("download complete");
    steps.push_back(
        {timing.checkMs / 2, QStringLiteral("update installed: showing sign-in"), screen(Protocol::ScreenSignIn)});
    return steps;
}

DemoMainProgram::Steps DemoMainProgram::reactToSignIn(const Json::Value& login)
{
    if (!login.isObject()) {
        return {{0, QStringLiteral("no reaction: \"login\" is not an object"), std::nullopt}};
    }
    if (login.isMember("id")) {
        signingIn = textOf(login["id"]);
        return {{0,
                 QStringLiteral("%1 signs in (password digest received): asking for the one-time password %2")
                     .arg(shown(signingIn), QLatin1String(kOneTimePassword)),
                 update(result("AUTHENTICATE-OTP-NEED"))}};
    }
    const std::string otp = textOf(login["otp"]);
    if (signingIn.empty()) {
        return {{0, QStringLiteral("a one-time password before any sign-in: telling the user"),
                 boxText(kNoOneTimePasswordAsked)}};
    }
    if (otp != kOneTimePassword) {
        return {{0, QStringLiteral("wrong one-time password \"%1\": telling the user").arg(shown(otp)),
                 boxText(kWrongOneTimePassword)}};
    }
    if (initialPasswordId(signingIn) && changed.count(signingIn) == 0) {
        return {{0,
                 QStringLiteral("%1 is signed in with an initial password: asking for a new one").arg(shown(signingIn)),
                 screen(Protocol::ScreenNewPassword)}};
    }
    return showList(QStringLiteral("%1 is signed in").arg(shown(signingIn)));
}

DemoMainProgram::Steps DemoMainProgram::reactToReset(const Json::Value& message)
{
    if (frameIndexOf(message) == 5) {
        const Json::Value& prove = message["user_prove"];
        const std::string id = prove.isObject() ? textOf(prove["id"]) : std::string();
        const std::string phone = prove.isObject() ? textOf(prove["phone"]) : std::string();
        if (id.empty() || !fullPhoneNumber(phone)) {
            return {{0, QStringLiteral("reset: ID or phone number incomplete: telling the user"),
                     boxText(kPhoneIncomplete)}};
        }
        proving = id;
        return {{0,
                 QStringLiteral("reset for %1, phone %2: identity proved, one-time password %3 sent")
                     .arg(shown(id), shown(phone), QLatin1String(kOneTimePassword)),
                 update(result("USER-PROVE-OK"))}};
    }
    const std::string otp = textOf(message["otp"]);
    if (proving.empty()) {
        return {{0, QStringLiteral("a reset code before any identity proof: telling the user"),
                 boxText(kNoOneTimePasswordAsked)}};
    }
    if (otp != kOneTimePassword) {
        return {{0, QStringLiteral("wrong reset code \"%1\": telling the user").arg(shown(otp)),
                 boxText(kWrongOneTimePassword)}};
    }
    return {{0, QStringLiteral("password of %1 reset").arg(shown(proving)), update(result("RESET-PASSWORD-OK"))}};
}

DemoMainProgram::Steps DemoMainProgram::reactToPcChoice(const Json::Value& message)
{
    const QString name = QString::fromStdString(textOf(message["ResName"]));
    const std::string state = textOf(message["ResState"]);
    if (state != "wait") {
        return {{0,
                 QStringLiteral("%1 cannot be used now (state \"%2\"): ending the session")
                     .arg(name, QString::fromStdString(state)),
                 boxText(kPcUnavailable, kTextBit)}};
    }
    return {{0, QStringLiteral("connecting to %1: showing progress").arg(name), screen(Protocol::ScreenProgress)},
            {timing.progressMs, QStringLiteral("%1 is ready").arg(name), update(Json::Value("ready"))}};
}

DemoMainProgram::Steps DemoMainProgram::showList(const QString& why)
{
    Json::Value message = screen(Protocol::ScreenSelectResource);
    message["Info"] = pcList();
    return {{0, why + QStringLiteral(": showing the list of PCs"), message}};
}
