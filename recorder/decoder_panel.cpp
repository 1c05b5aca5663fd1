#include "recorder/decoder_panel.h"

#include "decode/catalog.h"
#include "numbers/number_format.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace recorder {

namespace {

QString TimeText(double ms) {
    return numbers::FormatGeneral(ms, 10);
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

QString AnnotationLinesText(const std::vector<TAnnotationLine>& lines) {
    QString text = QStringLiteral("Время, мс\tСтрока\tТекст\n");
    for (const TAnnotationLine& line : lines)
        text += TimeText(line.StartMs) + u'\t' + line.Row + u'\t' + line.Text + u'\n';
    return text;
}

// The annotations' lines for the table view: time, row and text.
class TAnnotationTable : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetLines(std::vector<TAnnotationLine> lines) {
        beginResetModel();
        lines_ = std::move(lines);
        endResetModel();
    }
    const std::vector<TAnnotationLine>& Lines() const { return lines_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(lines_.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        const TAnnotationLine& line = lines_.at(static_cast<std::size_t>(index.row()));
        switch (index.column()) {
        case 0:
            return TimeText(line.StartMs);
        case 1:
            return line.Row;
        default:
            return line.Text;
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const QString names[] = {QStringLiteral("Время, мс"), QStringLiteral("Строка"),
                                        QStringLiteral("Текст")};
        return names[section];
    }

private:
    std::vector<TAnnotationLine> lines_;
};

TDecoderPanel::TDecoderPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DecoderPanel"));
    auto* columns = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    columns->addLayout(left);
    // A decoder may have a dozen options: they scroll rather than push the chart off the window.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layers_ = new QWidget(scroll);
    layersLayout_ = new QVBoxLayout(layers_);
    layersLayout_->setContentsMargins(0, 0, 0, 0);
    layersLayout_->addStretch();
    scroll->setWidget(layers_);
    left->addWidget(scroll, 1);
    auto* buttons = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("Добавить"), this);
    add_->setObjectName(QStringLiteral("btnAddDecoder"));
    add_->setToolTip(QStringLiteral("Декодер поверх последнего, по его выходу"));
    remove_ = new QPushButton(QStringLiteral("Убрать"), this);
    remove_->setObjectName(QStringLiteral("btnRemoveDecoder"));
    remove_->setToolTip(QStringLiteral("Убрать верхний декодер"));
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    left->addLayout(buttons);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("DecoderStatus"));
    status_->setWordWrap(true);
    left->addWidget(status_);
    wholeRecording_ = new QPushButton(QStringLiteral("Декодировать всю запись"), this);
    wholeRecording_->setObjectName(QStringLiteral("btnDecodeWholeRecording"));
    wholeRecording_->hide();
    left->addWidget(wholeRecording_);

    auto* right = new QVBoxLayout;
    columns->addLayout(right, 1);
    model_ = new TAnnotationTable(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("DecoderTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    right->addWidget(table_);
    auto* tableButtons = new QHBoxLayout;
    auto* copy = new QPushButton(QStringLiteral("Копировать"), this);
    copy->setObjectName(QStringLiteral("btnCopyAnnotations"));
    copy->setToolTip(QStringLiteral("Выделенные строки таблицы, без выделения — все"));
    auto* exportCsv = new QPushButton(QStringLiteral("Экспорт CSV…"), this);
    exportCsv->setObjectName(QStringLiteral("btnExportAnnotations"));
    tableButtons->addWidget(copy);
    tableButtons->addWidget(exportCsv);
    tableButtons->addStretch();
    right->addLayout(tableButtons);

    connect(add_, &QPushButton::clicked, this, [this] {
        const auto above = decode::DecodersOn(decoders_, *decode::FindDecoder(decoders_, stack_.back().Id));
        stack_.push_back({above.front()->Id, {}});
        BuildStack();
        ChangeStack();
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        stack_.pop_back();
        BuildStack();
        ChangeStack();
    });
    connect(copy, &QPushButton::clicked, this, [this] { CopyLines(); });
    connect(exportCsv, &QPushButton::clicked, this, [this] {
        if (OnExport)
            OnExport();
    });
    connect(wholeRecording_, &QPushButton::clicked, this, [this] {
        if (OnWholeRecording)
            OnWholeRecording();
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && OnLineChosen)
                    OnLineChosen(model_->Lines().at(static_cast<std::size_t>(current.row())));
            });
    BuildStack();
}

TDecoderPanel::~TDecoderPanel() = default;

void TDecoderPanel::SetDecoders(std::vector<decode::TDecoderInfo> decoders) {
    decoders_ = std::move(decoders);
    BuildStack();
}

void TDecoderPanel::ShowLines(std::vector<TAnnotationLine> lines) {
    model_->SetLines(std::move(lines));
}

void TDecoderPanel::ShowStatus(const QString& status) {
    status_->setText(status);
}

QString TDecoderPanel::Status() const {
    return status_->text();
}

void TDecoderPanel::OfferWholeRecording(bool offered) {
    wholeRecording_->setVisible(offered);
}

void TDecoderPanel::BuildStack() {
    // The old choosers go once their signals are done: one of them may be what changed.
    for (QWidget* old : layers_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        old->hide();
        old->deleteLater();
    }
    for (std::size_t layer = 0; layer <= stack_.size() && !decoders_.empty(); ++layer) {
        if (layer == stack_.size() && layer > 0)
            break;
        AddLayer(layer);
    }
    const decode::TDecoderInfo* top =
        stack_.empty() ? nullptr : decode::FindDecoder(decoders_, stack_.back().Id);
    add_->setEnabled(top && !decode::DecodersOn(decoders_, *top).empty());
    remove_->setEnabled(stack_.size() > 1);
}

// The chooser of stack_[layer] (or, past the stack's top at 0, of the first decoder) and the
// editors of its options.
void TDecoderPanel::AddLayer(std::size_t layer) {
    auto* box = new QWidget(layers_);
    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 0, 0);
    layersLayout_->insertWidget(layersLayout_->count() - 1, box);

    auto* chooser = new QComboBox(box);
    chooser->setObjectName(QStringLiteral("cmbDecoder%1").arg(layer));
    const auto choices =
        layer == 0 ? decode::LineDecoders(decoders_)
                   : decode::DecodersOn(decoders_, *decode::FindDecoder(decoders_, stack_[layer - 1].Id));
    if (layer == 0)
        chooser->addItem(QStringLiteral("(нет)"), QString());
    for (const decode::TDecoderInfo* decoder : choices) {
        chooser->addItem(Text(decoder->Name) + QStringLiteral(" (") + Text(decoder->Id) + u')',
                         Text(decoder->Id));
        chooser->setItemData(chooser->count() - 1, Text(decoder->Description), Qt::ToolTipRole);
    }
    if (layer < stack_.size())
        chooser->setCurrentIndex(chooser->findData(Text(stack_[layer].Id)));
    form->addRow(layer == 0 ? QStringLiteral("Декодер:") : QStringLiteral("Поверх:"), chooser);
    connect(chooser, &QComboBox::activated, this, [this, layer, chooser] {
        const std::string id = chooser->currentData().toString().toStdString();
        stack_.resize(layer);
        if (!id.empty())
            stack_.push_back({id, {}});
        BuildStack();
        ChangeStack();
    });
    if (layer >= stack_.size())
        return;

    const decode::TDecoderInfo* decoder = decode::FindDecoder(decoders_, stack_[layer].Id);
    for (const decode::TDecoderOption& option : decoder->Options) {
        auto& chosen = stack_[layer].Options;
        const auto set = std::find_if(chosen.begin(), chosen.end(),
                                      [&](const auto& o) { return o.first == option.Id; });
        const QString value = Text(set == chosen.end() ? option.Default : set->second);
        // Only what differs from the decoder's default is sent, so the host reads no value in a
        // type the decoder did not mean.
        const auto store = [this, layer, option](const std::string& text) {
            auto& options = stack_[layer].Options;
            std::erase_if(options, [&](const auto& o) { return o.first == option.Id; });
            if (text != option.Default)
                options.emplace_back(option.Id, text);
            ChangeStack();
        };
        QWidget* editor = nullptr;
        if (!option.Choices.empty()) {
            auto* list = new QComboBox(box);
            for (const std::string& choice : option.Choices)
                list->addItem(Text(choice));
            list->setCurrentText(value);
            connect(list, &QComboBox::activated, this,
                    [list, store] { store(list->currentText().toStdString()); });
            editor = list;
        } else {
            auto* line = new QLineEdit(value, box);
            line->setPlaceholderText(Text(option.Default));
            connect(line, &QLineEdit::editingFinished, this, [line, store] {
                if (line->isModified()) {
                    line->setModified(false);
                    store(line->text().trimmed().toStdString());
                }
            });
            editor = line;
        }
        editor->setObjectName(QStringLiteral("edDecoderOption_%1_%2").arg(layer).arg(Text(option.Id)));
        editor->setToolTip(Text(option.Description));
        form->addRow(Text(option.Id) + u':', editor);
    }
}

void TDecoderPanel::ChangeStack() {
    if (OnStackChanged)
        OnStackChanged();
}

void TDecoderPanel::CopyLines() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        QApplication::clipboard()->setText(AnnotationLinesText(model_->Lines()));
        return;
    }
    std::vector<TAnnotationLine> chosen;
    for (const QModelIndex& row : rows)
        chosen.push_back(model_->Lines().at(static_cast<std::size_t>(row.row())));
    std::sort(chosen.begin(), chosen.end(),
              [](const auto& a, const auto& b) { return a.StartMs < b.StartMs; });
    QApplication::clipboard()->setText(AnnotationLinesText(chosen));
}

} // namespace recorder
