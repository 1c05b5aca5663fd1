// Builds the main window's actions, tool bar, panels and status line with their initial settings.

#include "recorder/main_form.h"

#include "controls/slider.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/radio_group.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace recorder {

namespace {

struct TActionDescription {
    QAction* TMainForm::*field;
    const char* name;
    const char* caption;
    const char* hint;
    const char* image;
    bool check;
};

QLabel* AddLabel(QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

// A spin edit at its place; its height is its own, as far as the panel has room for it.
void PlaceSpinEdit(controls::TSpinEdit* edit, const char* name, int left, int top, int width,
                   int room) {
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, width, std::min(edit->sizeHint().height(), room));
}

// Captions sit close above their fields; on top, their descenders are not cut off by the fields.
void RaiseLabels(QWidget* panel) {
    for (QLabel* label : panel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        label->raise();
    }
}

void SetFloat(controls::TSpinEdit* edit, int decimals) {
    edit->SetValueType(controls::TSpinEdit::vtFloat);
    edit->SetDecimal(decimals);
}

} // namespace

void TMainForm::BuildActions() {
    static const TActionDescription actions[] = {
        {&TMainForm::actLoad, "actLoad", "Load", "Загрузить данные из файла", "load", false},
        {&TMainForm::actSave, "actSave", "Save", "Сохранить данные в файле", "save", false},
        {&TMainForm::actSaveImage, "actSaveImage", "Save image",
         "Сохранить в виде графического файла", "save-image", false},
        {&TMainForm::actCopy, "actCopy", "Copy", "Перевести изображение графика в буфер обмена",
         "copy", false},
        {&TMainForm::actPrint, "actPrint", "Print", "Печатать график", "print", false},
        {&TMainForm::actPortSet, "actPortSet", "Port settings", "Установки последовательного порта",
         "port-settings", false},
        {&TMainForm::actViewGrid, "actViewGrid", "View grid", "Показать сетку на графике",
         "view-grid", true},
        {&TMainForm::actViewCursor, "actViewCursor", "View cursor", "Показать курсор",
         "view-cursor", true},
        {&TMainForm::actViewMarkers, "actViewMarkers", "ViewMarkers ", "Показать маркеры",
         "view-markers", true},
        {&TMainForm::actSetMarker1, "actSetMarker1", "Set marker1", "Установить маркер 1",
         "set-marker1", true},
        {&TMainForm::actSetMarker2, "actSetMarker2", "Set marker2", "Установить маркер 2",
         "set-marker2", true},
        {&TMainForm::actInvertLeftAxis, "actInvertLeftAxis", "Invert left axis",
         "Инвертировать ось Y", "invert-left-axis", true},
        {&TMainForm::actRecordToFile, "actRecordToFile", "Запись в файл",
         "Запись в файл: каждый байт прибора от старта до стопа (файл .tlr)", "record-to-file",
         true},
    };
    for (const TActionDescription& d : actions) {
        auto* action = new QAction(QIcon(QStringLiteral(":/icons/%1.svg").arg(d.image)),
                                   QString::fromUtf8(d.caption), this);
        action->setObjectName(QString::fromLatin1(d.name));
        action->setToolTip(QString::fromUtf8(d.hint));
        action->setStatusTip(QString::fromUtf8(d.hint));
        action->setCheckable(d.check);
        this->*d.field = action;
    }

    // At most one marker is being placed at a time; both buttons may be up.
    MarkerGroup = new QActionGroup(this);
    MarkerGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    MarkerGroup->addAction(actSetMarker1);
    MarkerGroup->addAction(actSetMarker2);

    connect(actViewMarkers, &QAction::triggered, this,
            [this] { actViewMarkersExecute(actViewMarkers); });
    connect(actViewCursor, &QAction::triggered, this,
            [this] { actViewCursorExecute(actViewCursor); });
}

void TMainForm::BuildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setFixedHeight(26);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(ToolBar1);

    for (QAction* action : {actLoad, actSave, actSaveImage, actCopy, actPrint}) {
        ToolBar1->addAction(action);
    }
    ToolBar1->addSeparator();
    ToolBar1->addAction(actPortSet);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actViewGrid);
    ToolBar1->addAction(actViewCursor);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actViewMarkers);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actSetMarker1);
    ToolBar1->addAction(actSetMarker2);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actInvertLeftAxis);

    const std::pair<QAction*, const char*> namedButtons[] = {
        {actViewGrid, "ToolButton7"},   {actViewCursor, "tbtCrossHair"},
        {actViewMarkers, "tbtMarkers"}, {actSetMarker1, "tbtMarker1"},
        {actSetMarker2, "tbtMarker2"},  {actInvertLeftAxis, "tbtInvertLeftAxis"},
    };
    for (const auto& [action, name] : namedButtons) {
        ToolBar1->widgetForAction(action)->setObjectName(QString::fromLatin1(name));
    }
}

void TMainForm::BuildGridPanel(QWidget* parent) {
    Panel2 = new QFrame(parent);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setFixedHeight(37);

    spedGridPeriod = new controls::TSpinEdit(Panel2);
    PlaceSpinEdit(spedGridPeriod, "spedGridPeriod", 8, 7, 73, 25);
    SetFloat(spedGridPeriod, 3);
    spedGridPeriod->SetIncrement(0.01L);
    spedGridPeriod->SetMinValue(0.01L);
    spedGridPeriod->SetMaxValue(1000.0L);
    spedGridPeriod->SetValue(1.0L);
    Label6 = AddLabel(Panel2, "Label6", QStringLiteral("Шаг сетки, мс "), 86, 11);

    Label7 = AddLabel(Panel2, "Label7", QStringLiteral("0 %"), 184, 11);
    sldrGridOffset = new controls::TSlider(Panel2);
    sldrGridOffset->setObjectName(QStringLiteral("sldrGridOffset"));
    sldrGridOffset->setGeometry(206, 3, 150, 29);
    sldrGridOffset->SetIncrement(1);
    sldrGridOffset->SetValue(0);
    Label8 = AddLabel(Panel2, "Label8", QStringLiteral("100 %"), 360, 11);
    lblGridOffset = AddLabel(Panel2, "lblGridOffset", QStringLiteral("Смещение сетки"), 412, 11);
    // Wide enough for "Смещение сетки = 100%" once the slider has moved.
    lblGridOffset->resize(160, lblGridOffset->height());
}

void TMainForm::BuildAcquisitionPanel(QWidget* parent) {
    Panel1 = new QFrame(parent);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::NoFrame);
    Panel1->setFixedHeight(59);
    Panel1->setFont(QFont(QStringLiteral("Arial"), 8));

    lblStart = AddLabel(Panel1, "lblStart", QStringLiteral("Старт"), 8, 0);
    swchStart = new controls::TSwitch(Panel1);
    swchStart->setObjectName(QStringLiteral("swchStart"));
    swchStart->setGeometry(6, 16, 33, 39);
    swchStart->SetCaption(QStringLiteral("swchStart"));
    swchStart->SetTextPosition(controls::TSwitch::tpNone);

    chbTest = new QCheckBox(QStringLiteral("Режим теста"), Panel1);
    chbTest->setObjectName(QStringLiteral("chbTest"));
    chbTest->setGeometry(48, 4, 99, 13);

    Label4 = AddLabel(Panel1, "Label4", QStringLiteral("Период выборки"), 46, 22);
    spedSamplePeriod = new controls::TSpinEdit(Panel1);
    PlaceSpinEdit(spedSamplePeriod, "spedSamplePeriod", 46, 34, 81, 25);
    SetFloat(spedSamplePeriod, acquisition::PeriodDecimals);
    spedSamplePeriod->OnExit = [this](QObject* sender) { spedSamplePeriodExit(sender); };
    spedSamplePeriod->OnKeyPress = [this](QObject* sender, QChar& key) {
        spedSamplePeriodKeyPress(sender, key);
    };
    Label5 = AddLabel(Panel1, "Label5", QStringLiteral("мс"), 130, 40);

    rgrpDeflectOptions =
        new TRadioGroup(QStringLiteral("Развертка"),
                        {QStringLiteral("Однократная"), QStringLiteral("Переодическая")}, Panel1);
    rgrpDeflectOptions->setObjectName(QStringLiteral("rgrpDeflectOptions"));
    rgrpDeflectOptions->setGeometry(184, 6, 121, 49);
    rgrpDeflectOptions->SetItemIndex(1);

    Label2 = AddLabel(Panel1, "Label2", QStringLiteral("Длительность развертки"), 312, 22);
    spedDeflectTime = new controls::TSpinEdit(Panel1);
    PlaceSpinEdit(spedDeflectTime, "spedDeflectTime", 312, 34, 105, 25);
    SetFloat(spedDeflectTime, acquisition::DurationDecimals);
    spedDeflectTime->SetIncrement(0.001L);
    spedDeflectTime->SetMinValue(0.001L);
    spedDeflectTime->SetMaxValue(1.0L);
    spedDeflectTime->SetValue(0.001L);
    spedDeflectTime->OnExit = [this](QObject* sender) { spedDeflectTimeExit(sender); };
    spedDeflectTime->OnKeyPress = [this](QObject* sender, QChar& key) {
        spedDeflectTimeKeyPress(sender, key);
    };
    Label3 = AddLabel(Panel1, "Label3", QStringLiteral("сек"), 418, 40);
    RaiseLabels(Panel1);
}

void TMainForm::BuildStatusLine() {
    StatusLine = new QStatusBar(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));

    const auto addPanel = [this](const char* name, int width) {
        auto* panel = new QLabel(QStringLiteral(" "), StatusLine);
        panel->setObjectName(QString::fromLatin1(name));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFixedWidth(width);
        StatusLine->addWidget(panel);
        return panel;
    };
    StatusPanel0 = addPanel("StatusPanel0", 200);
    StatusPanel1 = addPanel("StatusPanel1", 50);
    // The cursor readout grows with its text rather than cut it off.
    StatusPanel1->setMinimumWidth(50);
    StatusPanel1->setMaximumWidth(QWIDGETSIZE_MAX);
    HintText = new QLabel(StatusLine);
    HintText->setObjectName(QStringLiteral("HintText"));
    StatusLine->addWidget(HintText, 1);
    // What the panels show never widens the window (a long hint while recording did, for good):
    // they keep the width the window has, and what does not fit is cut off at the right.
    StatusLine->setSizePolicy(QSizePolicy::Ignored, StatusLine->sizePolicy().verticalPolicy());
    setStatusBar(StatusLine);
}

QLabel* TMainForm::AddStatusPanel(const char* name, int position) {
    auto* panel = new QLabel(StatusLine);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->hide();
    StatusLine->insertWidget(position, panel);
    return panel;
}

} // namespace recorder
