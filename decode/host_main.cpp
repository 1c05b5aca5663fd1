// talvir-decode: runs libsigrokdecode's protocol decoders in a process of its own, so that a
// decoder that raises, hangs or crashes takes only this process with it. It speaks the protocol
// of docs/decoder-protocol.md on its standard input and output.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <glib.h>
#include <libsigrokdecode/libsigrokdecode.h>

#include "decode/protocol.h"

namespace decode {
namespace {

std::mutex outputMutex;

void Send(const std::vector<std::string>& fields) {
    const std::string line = JoinFields(fields);
    const std::lock_guard lock(outputMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// The library reports a decoder's exception through its log, a line naming it and then the
// traceback; the first error since the last one told is what we tell.
std::string lastError;

int KeepErrors(void*, int level, const char* format, va_list args) {
    if (level > SRD_LOG_ERR)
        return SRD_OK;
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    const std::lock_guard lock(outputMutex);
    if (lastError.empty())
        lastError = text;
    return SRD_OK;
}

std::string TakeError(const char* what, int code) {
    const std::lock_guard lock(outputMutex);
    std::string message = lastError.empty() ? std::string(srd_strerror(code)) : lastError;
    lastError.clear();
    return std::string(what) + ": " + message;
}

std::string VariantText(GVariant* value) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING))
        return g_variant_get_string(value, nullptr);
    gchar* text = g_variant_print(value, FALSE);
    std::string result = text;
    g_free(text);
    return result;
}

std::string Joined(const GSList* list) {
    std::string text;
    for (const GSList* l = list; l; l = l->next)
        text += (text.empty() ? "" : ",") + std::string(static_cast<const char*>(l->data));
    return text;
}

// The channel our one line goes to: the only required one, or with none required the first
// optional one; empty when the decoder does not fit one line.
std::string LineChannel(const srd_decoder* decoder) {
    const GSList* required = decoder->channels;
    if (required)
        return required->next ? "" : static_cast<const srd_channel*>(required->data)->id;
    if (decoder->opt_channels)
        return static_cast<const srd_channel*>(decoder->opt_channels->data)->id;
    return "";
}

bool TakesLogic(const srd_decoder* decoder) {
    for (const GSList* l = decoder->inputs; l; l = l->next)
        if (std::strcmp(static_cast<const char*>(l->data), "logic") == 0)
            return true;
    return false;
}

const char* ClassId(const srd_decoder* decoder, int index) {
    const auto* ann = static_cast<char**>(g_slist_nth_data(decoder->annotations, index));
    return ann ? ann[0] : "";
}

const char* RowOf(const srd_decoder* decoder, int index) {
    for (const GSList* r = decoder->annotation_rows; r; r = r->next) {
        const auto* row = static_cast<const srd_decoder_annotation_row*>(r->data);
        for (const GSList* c = row->ann_classes; c; c = c->next)
            if (GPOINTER_TO_INT(c->data) == index)
                return row->id;
    }
    return "";
}

void ListDecoders() {
    for (const GSList* l = srd_decoder_list(); l; l = l->next) {
        const auto* decoder = static_cast<const srd_decoder*>(l->data);
        const bool logic = TakesLogic(decoder);
        const std::string channel = logic ? LineChannel(decoder) : "";
        if (logic && channel.empty())
            continue; // wants more lines than we have
        Send({"decoder", decoder->id, logic ? channel : "-", Joined(decoder->inputs),
              Joined(decoder->outputs), decoder->name, decoder->desc});
        for (const GSList* o = decoder->options; o; o = o->next) {
            const auto* option = static_cast<const srd_decoder_option*>(o->data);
            std::vector<std::string> fields{"option", option->id, option->desc,
                                            VariantText(option->def)};
            for (const GSList* v = option->values; v; v = v->next)
                fields.push_back(VariantText(static_cast<GVariant*>(v->data)));
            Send(fields);
        }
        for (const GSList* a = decoder->annotations; a; a = a->next) {
            const auto* ann = static_cast<char**>(a->data);
            Send({"class", ann[0], ann[1]});
        }
        for (const GSList* r = decoder->annotation_rows; r; r = r->next) {
            const auto* row = static_cast<const srd_decoder_annotation_row*>(r->data);
            std::string classes;
            for (const GSList* c = row->ann_classes; c; c = c->next)
                classes += (classes.empty() ? "" : ",") +
                           std::string(ClassId(decoder, GPOINTER_TO_INT(c->data)));
            Send({"row", row->id, row->desc, classes});
        }
    }
    Send({"listed"});
}

void OnAnnotation(srd_proto_data* data, void*) {
    const srd_decoder* decoder = data->pdo->di->decoder;
    const auto* ann = static_cast<const srd_proto_data_annotation*>(data->data);
    std::vector<std::string> fields{"ann", std::to_string(data->start_sample),
                                    std::to_string(data->end_sample), decoder->id,
                                    RowOf(decoder, ann->ann_class),
                                    ClassId(decoder, ann->ann_class)};
    for (char** text = ann->ann_text; text && *text; ++text)
        fields.emplace_back(*text);
    Send(fields);
}

struct DecoderRequest {
    std::string id;
    std::vector<std::pair<std::string, std::string>> options;
};

// An option's value in the type of the decoder's default for it.
GVariant* OptionValue(const srd_decoder* decoder, const std::string& id, const std::string& text) {
    for (const GSList* o = decoder->options; o; o = o->next) {
        const auto* option = static_cast<const srd_decoder_option*>(o->data);
        if (id != option->id)
            continue;
        char* end = nullptr;
        if (g_variant_is_of_type(option->def, G_VARIANT_TYPE_INT64)) {
            const gint64 value = g_ascii_strtoll(text.c_str(), &end, 10);
            if (!text.empty() && *end == '\0')
                return g_variant_new_int64(value);
        } else if (g_variant_is_of_type(option->def, G_VARIANT_TYPE_DOUBLE)) {
            const double value = g_ascii_strtod(text.c_str(), &end);
            if (!text.empty() && *end == '\0')
                return g_variant_new_double(value);
        } else {
            return g_variant_new_string(text.c_str());
        }
        throw std::runtime_error("option " + id + " of " + decoder->id + " takes a number, not \"" +
                                 text + "\"");
    }
    throw std::runtime_error(std::string(decoder->id) + " has no option " + id);
}

// One decoding: the stack made, the samples fed one byte a sample, the session ended.
class Session {
public:
    Session(const std::vector<DecoderRequest>& stack, std::uint64_t sampleRate)
        : session_(NewSession(), srd_session_destroy) {
        if (sampleRate == 0)
            throw std::runtime_error("no sample rate given");
        if (stack.empty())
            throw std::runtime_error("no decoder given");
        srd_pd_output_callback_add(session_.get(), SRD_OUTPUT_ANN, OnAnnotation, nullptr);
        srd_decoder_inst* below = nullptr;
        for (const DecoderRequest& request : stack) {
            const srd_decoder* decoder = srd_decoder_get_by_id(request.id.c_str());
            if (!decoder)
                throw std::runtime_error("no decoder " + request.id);
            GHashTable* options = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                                        (GDestroyNotify)g_variant_unref);
            for (const auto& [id, value] : request.options)
                g_hash_table_insert(options, g_strdup(id.c_str()),
                                    g_variant_ref_sink(OptionValue(decoder, id, value)));
            srd_decoder_inst* instance = srd_inst_new(session_.get(), request.id.c_str(), options);
            g_hash_table_destroy(options);
            if (!instance)
                throw std::runtime_error(TakeError(request.id.c_str(), SRD_ERR_ARG));
            if (!below) {
                GHashTable* channels = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                                             (GDestroyNotify)g_variant_unref);
                g_hash_table_insert(channels, g_strdup(LineChannel(decoder).c_str()),
                                    g_variant_ref_sink(g_variant_new_int32(0)));
                const int result = srd_inst_channel_set_all(instance, channels);
                g_hash_table_destroy(channels);
                if (result != SRD_OK)
                    throw std::runtime_error(TakeError(request.id.c_str(), result));
            } else if (const int result = srd_inst_stack(session_.get(), below, instance);
                       result != SRD_OK) {
                throw std::runtime_error(TakeError(request.id.c_str(), result));
            }
            below = instance;
        }
        // The rate after the start: set before it, decoders have been seen to raise "Cannot
        // decode without samplerate".
        if (const int result = srd_session_start(session_.get()); result != SRD_OK)
            throw std::runtime_error(TakeError("start", result));
        if (const int result = srd_session_metadata_set(session_.get(), SRD_CONF_SAMPLERATE,
                                                        g_variant_new_uint64(sampleRate));
            result != SRD_OK)
            throw std::runtime_error(TakeError("sample rate", result));
    }
    // Samples one a byte, level in bit 0. A decoder's failure is the library's error code.
    int Feed(const std::vector<std::uint8_t>& samples) {
        const int result = srd_session_send(session_.get(), sent_, sent_ + samples.size(),
                                            samples.data(), samples.size(), 1);
        sent_ += samples.size();
        return result;
    }
    std::uint64_t Sent() const { return sent_; }

private:
    static srd_session* NewSession() {
        srd_session* session = nullptr;
        if (const int result = srd_session_new(&session); result != SRD_OK)
            throw std::runtime_error(TakeError("session", result));
        return session;
    }

    std::unique_ptr<srd_session, int (*)(srd_session*)> session_;
    std::uint64_t sent_ = 0;
};

// Reads the commands of one stream of decodings until the standard input ends. An error is the
// host's last line: a decoder that raised can leave the library's interpreter unfit for the
// next decoding, so the host ends and the client starts a fresh one.
class Host {
public:
    // The exit status: 0 at the end of the input, 1 after an error.
    int Run() {
        std::string line;
        try {
            while (ReadLine(line))
                Handle(SplitFields(line));
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
    srd_log_callback_set(decode::KeepErrors, nullptr);
    if (srd_init(nullptr) != SRD_OK || srd_decoder_load_all() != SRD_OK) {
        std::fprintf(stderr, "talvir-decode: the decoder library did not start\n");
        return 1;
    }
    const int status = decode::Host().Run();
    srd_exit();
    return status;
}
