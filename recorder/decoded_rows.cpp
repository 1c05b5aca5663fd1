#include "recorder/decoded_rows.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace recorder {

namespace {

// A decoder's colours apart from the next one's in the stack.
constexpr int kColoursPerDecoder = 8;

using TRowKey = std::tuple<std::string, std::string, std::string>; // decoder, row, class

struct TRowPlace {
    std::size_t Order = 0; // among all the rows the stack may make
    QString Name;
};

QString Label(const std::string& decoder, const std::string& what) {
    return QString::fromStdString(decoder) + QStringLiteral(": ") + QString::fromStdString(what);
}

} // namespace

TDecodedView ViewOf(const TDecoded& decoded, const std::vector<decode::TDecoderInfo>& decoders,
                    const std::vector<decode::TStackedDecoder>& stack) {
    std::map<TRowKey, TRowPlace> places;
    std::map<std::string, std::pair<int, const decode::TDecoderInfo*>> layers;
    for (std::size_t layer = 0; layer < stack.size(); ++layer) {
        const auto info = std::find_if(decoders.begin(), decoders.end(), [&](const auto& d) {
            return d.Id == stack[layer].Id;
        });
        if (info == decoders.end() || layers.count(info->Id) != 0)
            continue;
        layers[info->Id] = {static_cast<int>(layer), &*info};
        for (const decode::TAnnotationRow& row : info->Rows)
            places[{info->Id, row.Id, {}}] = {places.size(), Label(info->Id, row.Description)};
        for (const decode::TAnnotationClass& cls : info->Classes)
            places[{info->Id, {}, cls.Id}] = {places.size(), Label(info->Id, cls.Description)};
    }

    // The rows in the stack's order, made as their first annotation comes.
    std::map<std::size_t, std::size_t> rowOfPlace;
    std::vector<std::pair<std::size_t, chart::TStripRow>> rows;
    TDecodedView view;
    view.Lines.reserve(decoded.Annotations.size());
    // Where the last annotation went: a decoder's annotations come in runs of the same class.
    const decode::TAnnotation* previous = nullptr;
    std::map<TRowKey, TRowPlace>::iterator place;
    std::size_t rowIndex = 0;
    int colour = 0;
    for (const decode::TAnnotation& a : decoded.Annotations) {
        if (!previous || a.Class != previous->Class || a.Row != previous->Row ||
            a.Decoder != previous->Decoder) {
            const TRowKey key{a.Decoder, a.Row, a.Row.empty() ? a.Class : std::string()};
            place = places.find(key);
            if (place == places.end()) // a decoder or row the list did not name: a row of its own
                place = places
                            .emplace(key, TRowPlace{places.size(),
                                                    Label(a.Decoder, a.Row.empty() ? a.Class : a.Row)})
                            .first;
            const auto [made, added] = rowOfPlace.try_emplace(place->second.Order, rows.size());
            if (added)
                rows.push_back({place->second.Order, {place->second.Name, {}}});
            rowIndex = made->second;
            colour = 0;
            if (const auto layer = layers.find(a.Decoder); layer != layers.end()) {
                const auto& classes = layer->second.second->Classes;
                const auto cls = std::find_if(classes.begin(), classes.end(),
                                              [&](const auto& c) { return c.Id == a.Class; });
                colour = layer->second.first * kColoursPerDecoder +
                         static_cast<int>(cls == classes.end() ? 0 : cls - classes.begin());
            }
        }
        previous = &a;
        QStringList texts;
        for (const std::string& text : a.Texts)
            texts << QString::fromStdString(text);
        const double start = decoded.StartMs(a);
        const double end = decoded.EndMs(a);
        view.Lines.push_back({start, end, place->second.Name, texts.value(0)});
        rows[rowIndex].second.Items.push_back({start, end, std::move(texts), colour});
    }

    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [order, row] : rows) {
        std::stable_sort(row.Items.begin(), row.Items.end(),
                         [](const auto& a, const auto& b) { return a.Start < b.Start; });
        view.Rows.push_back(std::move(row));
    }
    std::stable_sort(view.Lines.begin(), view.Lines.end(),
                     [](const auto& a, const auto& b) { return a.StartMs < b.StartMs; });
    return view;
}

} // namespace recorder
