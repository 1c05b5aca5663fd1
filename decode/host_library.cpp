#include "decode/host_library.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include <glib.h>
#include <libsigrokdecode/libsigrokdecode.h>

#include "decode/protocol.h"

namespace decode {

namespace {

std::mutex outputMutex;

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

} // namespace

void Send(const std::vector<std::string>& fields) {
    const std::string line = JoinFields(fields);
    const std::lock_guard lock(outputMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void FlushOutput() {
    const std::lock_guard lock(outputMutex);
    std::fflush(stdout);
}

std::string TakeError(const char* what, int code) {
    const std::lock_guard lock(outputMutex);
    std::string message = lastError.empty() ? std::string(srd_strerror(code)) : lastError;
    lastError.clear();
    return std::string(what) + ": " + message;
}

namespace {

std::string VariantText(GVariant* value) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING))
        return g_variant_get_string(value, nullptr);
    gchar* text = g_variant_print(value, FALSE);
    std::string result = text;
    g_free(text);
    return result;
}

void AddListItem(std::string& list, const char* item) {
    if (!list.empty())
        list += ',';
    list += item;
}

std::string Joined(const GSList* list) {
    std::string text;
    for (const GSList* l = list; l; l = l->next)
        AddListItem(text, static_cast<const char*>(l->data));
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

} // namespace

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
                AddListItem(classes, ClassId(decoder, GPOINTER_TO_INT(c->data)));
            Send({"row", row->id, row->desc, classes});
        }
    }
    Send({"listed"});
}

namespace {

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

// Names to values, as the library takes options and channels.
std::unique_ptr<GHashTable, void (*)(GHashTable*)> VariantTable() {
    return {g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                  reinterpret_cast<GDestroyNotify>(g_variant_unref)),
            g_hash_table_destroy};
}

} // namespace

bool StartLibrary() {
    srd_log_callback_set(KeepErrors, nullptr);
    return srd_init(nullptr) == SRD_OK && srd_decoder_load_all() == SRD_OK;
}

Session::Session(const std::vector<DecoderRequest>& stack, std::uint64_t sampleRate)
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
        const auto options = VariantTable();
        for (const auto& [id, value] : request.options)
            g_hash_table_insert(options.get(), g_strdup(id.c_str()),
                                g_variant_ref_sink(OptionValue(decoder, id, value)));
        srd_decoder_inst* instance =
            srd_inst_new(session_.get(), request.id.c_str(), options.get());
        if (!instance)
            throw std::runtime_error(TakeError(request.id.c_str(), SRD_ERR_ARG));
        if (!below) {
            const auto channels = VariantTable();
            g_hash_table_insert(channels.get(), g_strdup(LineChannel(decoder).c_str()),
                                g_variant_ref_sink(g_variant_new_int32(0)));
            const int result = srd_inst_channel_set_all(instance, channels.get());
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

int Session::Feed(const std::vector<std::uint8_t>& samples) {
    const int result = srd_session_send(session_.get(), sent_, sent_ + samples.size(),
                                        samples.data(), samples.size(), 1);
    sent_ += samples.size();
    return result;
}

srd_session* Session::NewSession() {
    srd_session* session = nullptr;
    if (const int result = srd_session_new(&session); result != SRD_OK)
        throw std::runtime_error(TakeError("session", result));
    return session;
}

} // namespace decode
