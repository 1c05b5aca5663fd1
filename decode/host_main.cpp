// talvir-decode: runs libsigrokdecode's protocol decoders in a process of its own, so that a
// decoder that raises, hangs or crashes takes only this process with it. It speaks the protocol
// of docs/decoder-protocol.md on its standard input and output.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <glib.h>
#include <libsigrokdecode/libsigrokdecode.h>

#include "decode/host_library.h"
#include "decode/protocol.h"

namespace decode {
namespace {

// Reads the commands of one stream of decodings until the standard input ends. An error is the
// host's last line: a decoder that raised can leave the library's interpreter unfit for the
// next decoding, so the host ends and the client starts a fresh one.
class Host {
public:
    // The exit status: 0 at the end of the input, 1 after an error.
    int Run() {
        std::string line;
        try {
            // Answers leave once a command is handled, not line by line: a decoding may give
            // an annotation every few samples.
            while (ReadLine(line)) {
                Handle(SplitFields(line));
                FlushOutput();
            }
        } catch (const std::exception& e) {
            // The session ends first: its decoder threads may still be logging the error.
            session_.reset();
            Send({"error", e.what()});
            return 1;
        }
        return 0;
    }

private:
    static bool ReadLine(std::string& line) {
        line.clear();
        for (int c; (c = std::getc(stdin)) != EOF;) {
            if (c == '\n')
                return true;
            line += static_cast<char>(c);
        }
        return !line.empty();
    }

    static std::uint64_t Count(const std::vector<std::string>& fields, std::size_t at) {
        if (fields.size() <= at)
            throw std::runtime_error(fields[0] + " needs a number");
        char* end = nullptr;
        const auto value = g_ascii_strtoull(fields[at].c_str(), &end, 10);
        if (fields[at].empty() || *end != '\0')
            throw std::runtime_error(fields[0] + ": \"" + fields[at] + "\" is not a number");
        return value;
    }

    static std::vector<std::uint8_t> ReadBytes(std::uint64_t count) {
        std::vector<std::uint8_t> bytes(count);
        if (std::fread(bytes.data(), 1, bytes.size(), stdin) != bytes.size())
            throw std::runtime_error("the samples end early");
        return bytes;
    }

    void Handle(const std::vector<std::string>& fields) {
        const std::string& command = fields[0];
        if (command == "list") {
            ListDecoders();
        } else if (command == "stack") {
            if (fields.size() < 2)
                throw std::runtime_error("stack needs a decoder");
            DecoderRequest request{fields[1], {}};
            for (std::size_t i = 2; i < fields.size(); ++i) {
                const auto eq = fields[i].find('=');
                if (eq == std::string::npos)
                    throw std::runtime_error("option \"" + fields[i] + "\" needs a value");
                request.options.emplace_back(fields[i].substr(0, eq), fields[i].substr(eq + 1));
            }
            stack_.push_back(std::move(request));
        } else if (command == "samplerate") {
            sampleRate_ = Count(fields, 1);
        } else if (command == "bits") {
            const std::uint64_t count = Count(fields, 1);
            const auto packed = ReadBytes((count + 7) / 8);
            std::vector<std::uint8_t> samples(count);
            for (std::uint64_t i = 0; i < count; ++i)
                samples[i] = (packed[i / 8] >> (7 - i % 8)) & 1;
            Feed(samples);
        } else if (command == "runs") {
            bool level = Count(fields, 1) != 0;
            const auto bytes = ReadBytes(8 * Count(fields, 2));
            // Fed in pieces, so a long run costs no more memory than a short one.
            constexpr std::uint64_t kPiece = 1 << 20;
            std::vector<std::uint8_t> samples;
            for (std::size_t at = 0; at < bytes.size(); at += 8, level = !level) {
                std::uint64_t length = 0;
                for (int b = 7; b >= 0; --b)
                    length = length << 8 | bytes[at + b];
                while (length > 0) {
                    const std::uint64_t part = std::min(length, kPiece - samples.size());
                    samples.insert(samples.end(), part, level ? 1 : 0);
                    length -= part;
                    if (samples.size() == kPiece) {
                        Feed(samples);
                        samples.clear();
                    }
                }
            }
            Feed(samples);
        } else if (command == "end") {
            End();
        } else {
            throw std::runtime_error("unknown command \"" + command + "\"");
        }
    }

    // Ends the decoding with its last line, and makes ready for the next.
    void End() {
        Start();
        Send({"done", std::to_string(session_->Sent())});
        session_.reset();
        stack_.clear();
    }

    void Start() {
        if (!session_)
            session_ = std::make_unique<Session>(stack_, sampleRate_);
    }

    void Feed(const std::vector<std::uint8_t>& samples) {
        Start();
        if (const int result = session_->Feed(samples); result != SRD_OK) {
            session_.reset(); // its threads joined, the decoder's error is in the log
            throw std::runtime_error(TakeError("decoding", result));
        }
    }

    std::vector<DecoderRequest> stack_;
    std::uint64_t sampleRate_ = 0;
    std::unique_ptr<Session> session_;
};

} // namespace
} // namespace decode

int main() {
    // Annotations go out in blocks of this size between the commands' flushes: a dense decoding
    // gives one every few samples, and a socket's default block of 4 KiB would wake the client
    // for every hundred of them. The C library takes the size only with a buffer of ours.
    static char output[1 << 16];
    std::setvbuf(stdout, output, _IOFBF, sizeof output);
    if (!decode::StartLibrary()) {
        std::fprintf(stderr, "talvir-decode: the decoder library did not start\n");
        return 1;
    }
    const int status = decode::Host().Run();
    decode::FlushOutput();
    srd_exit();
    return status;
}
