#pragma once

// Exit status of tavo_peer, documented in docs/protocol.md.
namespace PeerExit {

constexpr int kPassed = 0;   // the scenario passed, or the console session ended normally
constexpr int kFailed = 1;   // a step failed, or the client broke the link's rules or dropped it
constexpr int kUsage = 2;    // bad command line or scenario file, or the port is taken
constexpr int kNoClient = 3; // no client connected in time

} // namespace PeerExit
