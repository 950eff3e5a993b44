#include "SignInReturn.h"

#include "Protocol.h"

namespace SignInReturn {

Json::Value back()
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = Protocol::ScreenSignIn;
    return message;
}

Json::Value afterDone(int step)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = step;
    message["Info"] = "BackRutin";
    return message;
}

} // namespace SignInReturn
