#pragma once
// The "Декодер" panel: the stack of decoders the operator chose from the library's own list, with
// each decoder's own options, what the decoding says, and the table of its annotations with
// "Копировать" and the CSV export.

#include "decode/client.h"
#include "recorder/decoded_rows.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTableView;
class QVBoxLayout;

namespace recorder {

class TAnnotationTable;

// The annotations' lines as the clipboard gets them: a header, then time, row and text, tab
// separated, one annotation a line.
QString AnnotationLinesText(const std::vector<TAnnotationLine>& lines);

class TDecoderPanel : public QWidget {
public:
    explicit TDecoderPanel(QWidget* parent);
    ~TDecoderPanel() override;

    // The library's list arrived: the first decoder can be chosen.
    void SetDecoders(std::vector<decode::TDecoderInfo> decoders);
    const std::vector<decode::TDecoderInfo>& Decoders() const { return decoders_; }
    // The decoders chosen, the first on the line, with the options that differ from their
    // defaults; empty when none is chosen.
    const std::vector<decode::TStackedDecoder>& Stack() const { return stack_; }

    void ShowLines(std::vector<TAnnotationLine> lines);
    // What the decoding is doing or why it gives nothing.
    void ShowStatus(const QString& status);
    QString Status() const;
    void OfferWholeRecording(bool offered);

    std::function<void()> OnStackChanged;
    std::function<void(const TAnnotationLine& line)> OnLineChosen;
    std::function<void()> OnExport;
    std::function<void()> OnWholeRecording;

private:
    // The choosers and option editors for stack_, made anew when the stack's shape changes.
    void BuildStack();
    void AddLayer(std::size_t layer);
    void ChangeStack();
    void CopyLines() const;

    std::vector<decode::TDecoderInfo> decoders_;
    std::vector<decode::TStackedDecoder> stack_;
    QWidget* layers_ = nullptr;
    QVBoxLayout* layersLayout_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QLabel* status_ = nullptr;
    QTableView* table_ = nullptr;
    TAnnotationTable* model_ = nullptr;
    QPushButton* wholeRecording_ = nullptr;
};

} // namespace recorder
