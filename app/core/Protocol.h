#pragma once

// The numbers of the local link, in one place: the port, the flag bits of "FrameIndex", the
// screens' numbers, the values the client sends on its own, and the wrapped form.
namespace Protocol {

constexpr unsigned short kLinkPort = 15201;

enum FrameBits : int
{
    BitFinalNotice16 = 16, // a notice, then the program closes
    BitFinalNotice32 = 32, // the same; on an update (with bit 64) a text for the screen to show
    BitShowText = BitFinalNotice32,
    BitUpdate = 64,        // an update for the screen on show
    BitClose = 128,        // from a screen: close the program instead of sending
    BitAckNotice = 256,    // a notice the client acknowledges with 256
    BitKeyInit = 512,      // the key-initialisation request
    BitUpdateNotice = 1024 // the update notice, acknowledged with 1024
};

// The screens the main program shows with {"FrameIndex":n}. A screen asks for another by sending
// that screen's number.
enum ScreenNumber : int
{
    ScreenSignIn = 1,
    ScreenSelectResource = 2,
    ScreenProgress = 3,
    ScreenResetPassword = 5,
    ScreenNewPassword = 7,
    ScreenForgeryCheck = 8, // the first of every run
    ScreenStreamConfig = 9
};

// {"FrameIndex":4496}: the client is closing while the link is open.
constexpr int kExitNotice = 4496;

// A wrapped message is {"<base64 ciphertext>":""}: these bytes stand before and after the text.
constexpr char kWrapHead[] = "{\"";
constexpr char kWrapTail[] = "\":\"\"}";
constexpr int kWrapHeadBytes = sizeof(kWrapHead) - 1;
constexpr int kWrapTailBytes = sizeof(kWrapTail) - 1;

} // namespace Protocol
