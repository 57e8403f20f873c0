#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoding/CommandDecoder.h"
#include "transport/SignLink.h"

class CCancelToken;

// One message the sign took in, read as the sign reads it.
struct SignMessage {
    int64_t number = 0;  // from 1, in the order of arrival
    std::string time;    // UTC, "2025-01-31T12:34:56.789Z"
    std::string source;  // "tcp 127.0.0.1:40512", "serial /tmp/ttyLumivex"
    std::string sign;    // where the sign listens, "tcp 127.0.0.2:49999"; empty when unnamed
    std::string bytes;
    bool truncated = false;
    DecodedCommand decoded;
};

// What the sign does with each message: print it, draw its frames, and so on. Observers are called
// on the thread that runs the sign, one message at a time, in order of arrival. One that lives on
// another thread (a window on the GUI thread) takes a copy and hands it over to its own thread.
class ISignObserver {
public:
    virtual ~ISignObserver() = default;
    virtual void OnSignMessage(const SignMessage& message) = 0;
};

// How the loop ended: cancelled, or on a failed link with the link's errno.
struct SignLoopEnd {
    bool linkFailed = false;
    int error = 0;     // the link's errno when it failed
    std::string sign;  // the name of the sign whose link failed
};

// One of several signs played at once: its link and the name its messages carry.
struct NamedSignLink {
    ISignLink* link = nullptr;
    std::string name;
};

// Takes messages from the link until the token is cancelled or the link fails, reads each and
// hands it to every observer in turn. Blocks, so a program with an event loop runs it on a thread
// of its own and cancels the token to end it. What an observer throws passes through.
SignLoopEnd RunSignLoop(ISignLink& link, const std::vector<ISignObserver*>& observers,
                        const CCancelToken& stop, const std::string& signName = {});

// Plays several signs at once, each on a thread of its own so that one busy sign keeps no other
// waiting. The observers still see one message at a time (they need no locks of their own), each
// naming its sign. Ends when the token is cancelled, or when a link fails: that cancels the token,
// so the others end too, and the end names the failed sign.
SignLoopEnd RunSignLoops(const std::vector<NamedSignLink>& signs,
                         const std::vector<ISignObserver*>& observers, CCancelToken& stop);

// The message's JSON line: number, time, source, "sign" when named, byte count, "truncated" when it
// was cut, "message" or "network" as 'lumivex-cli decode' writes it, and "leftOut" when the sign
// model (an index of kSignModels) shows a message only in part.
std::string SignMessageJson(const SignMessage& message, int32_t modelIndex);
