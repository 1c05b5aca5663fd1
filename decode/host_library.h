#pragma once
// The decoder host's side of libsigrokdecode: the list of decoders that fit one line, a session
// of a decoder stack fed with samples, and the protocol's output. Only the program talvir-decode
// compiles this; the library decode does not.
//
// Threads: the library runs each decoder on a thread of its own and calls the annotation output
// from it, so Send may be called from any thread; the rest from the main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct srd_session;

namespace decode {

// Starts the library: our error log, its decoders loaded. False if it would not start.
bool StartLibrary();

// Writes one line of the protocol to the standard output's buffer; FlushOutput sends it.
void Send(const std::vector<std::string>& fields);
void FlushOutput();

// The library's first error logged since the last taken (a decoder's exception), or the text of
// `code` if none, after "what: ".
std::string TakeError(const char* what, int code);

// Sends the decoders that fit one line or stack on another's output, then "listed".
void ListDecoders();

struct DecoderRequest {
    std::string id;
    std::vector<std::pair<std::string, std::string>> options;
};

// One decoding: the stack made on a started session, fed one byte a sample. Throws
// std::runtime_error with the library's error for a stack it will not make.
class Session {
public:
    Session(const std::vector<DecoderRequest>& stack, std::uint64_t sampleRate);

    // Samples one a byte, level in bit 0. A decoder's failure is the library's error code.
    int Feed(const std::vector<std::uint8_t>& samples);
    std::uint64_t Sent() const { return sent_; }

private:
    static srd_session* NewSession();

    std::unique_ptr<srd_session, int (*)(srd_session*)> session_;
    std::uint64_t sent_ = 0;
};

} // namespace decode
