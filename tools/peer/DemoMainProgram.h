#pragma once

#include <json/value.h>

#include <QString>

#include <optional>
#include <set>
#include <string>
#include <vector>

// What the main program does in `tavo_peer --demo`: a small reactive stand-in that walks a user
// through every screen of the client. It only decides; DemoSession carries the decisions out on
// the link, so the decisions can be checked without one.
class DemoMainProgram
{
public:
    // The one-time password the demo accepts, on sign-in and on the password reset.
    static constexpr const char* kOneTimePassword = "1234";

    struct Timing
    {
        int checkMs = 1500;       // the integrity check before the update offer
        int downloadStepMs = 150; // between two download reports
        int downloadStep = 5;     // percent per report
        int progressMs = 4000;    // from the progress screen to the PC being ready
    };

    // One thing the main program does: after a pause (counted from the step before it), say
    // what it decided and send a message, or only say it.
    struct Step
    {
        int delayMs = 0;
        QString decision;
        std::optional<Json::Value> message;
    };
    using Steps = std::vector<Step>;

    DemoMainProgram();
    explicit DemoMainProgram(const Timing& timing);

    // The first decisions, once the key exchange is done; the integrity-check screen is on show.
    Steps begin();
    // The answer to one message from the client.
    Steps react(const Json::Value& message);

    // The PCs of the list, in the order shown.
    static Json::Value pcList();

private:
    Steps reactToSignIn(const Json::Value& login);
    Steps reactToReset(const Json::Value& message);
    Steps reactToPcChoice(const Json::Value& message);
    Steps download();
    Steps showList(const QString& why);

    Timing timing;
    std::string signingIn;      // the ID that last asked for a one-time password on sign-in
    std::string proving;        // the ID that last proved itself for a reset
    std::set<std::string> changed; // "new…" IDs whose initial password has been changed
    bool downloaded = false;
};
