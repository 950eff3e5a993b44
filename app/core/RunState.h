#pragma once

// What a run remembers from one screen to the next: the frame manager holds one for the run and
// hands it to the screens that need it. A screen made on its own keeps one of its own.
struct RunState
{
    // The PC list: the main program acts on the first reported choice and must not get a second.
    bool resourceRequestSent = false;
    // The progress screen: a second one continues the count.
    int progressStep = 0;
    // The streaming options: every screen opens with the last confirmed choice.
    bool codecIsH265 = true;
    int videoQuality = 3;
};
