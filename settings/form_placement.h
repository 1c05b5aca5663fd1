#pragma once
// The placement of a window (position, size, state) kept in a profile file from one run to the
// next. Created with its window as owner; Loaded() takes over the window's show, close and
// destruction: restore when the window is shown, save when it closes, and save when it is
// destroyed unless a save has run since the last restore. Nothing is saved before a first
// restore. Errors of a save or restore go to the application's error report; the show or close
// goes on all the same. Used on the window thread only.
//
// The keys, in the order of a first save: FormVersion, Flags, ShowCmd, PixelsPerInch,
// MinMaxPos(WxH), MinMaxPos, NormPos(WxH), NormPos, Visible, and then those of TFormStorage.
// The positions are written under a key with the screen size and under the plain key; a restore
// takes the one for the current screen size, else the plain one, and applies it only when the
// pixels per inch are those of the save. Whatever was stored, or with nothing stored, a restore
// leaves a window in its normal state no larger than the screen's free area and, frame included,
// on it.
//
// NormPos is "left,top,right,bottom" of the window's contents in its normal state, without the
// frame a window manager may draw around them (right and bottom lie just outside). Qt places a
// window being shown by its contents, since its frame is not known before the window manager has
// framed it; so a save and a restore leave the window where it was, with and without a window
// manager. Without one, the contents are the whole window. ShowCmd is 1 normal, 2 minimised, 3
// maximised (also for full screen); Flags is 2 for a minimised window that comes back maximised,
// else 0; MinMaxPos is always -1,-1,-1,-1: X11 reports no icon position, and where a maximised
// window goes is the window manager's choice. The values themselves: placement_record.h.

#include "settings/ini_text.h"

#include <QObject>
#include <QString>

class QRect;
class QWidget;

namespace settings {

// `contents` for `window` moved, and shrunk as far as the window allows, so that the window with
// its frame lies in the free area of the screen under the contents' centre (else the window's
// own); a window that can't shrink that far keeps its top-left corner, and so its title bar, on
// the screen. Without a screen, `contents` as given.
QRect FitOnScreen(const QWidget& window, QRect contents);

class TFormPlacement : public QObject {
    Q_OBJECT

public:
    explicit TFormPlacement(QWidget* owner);

    QWidget* Owner() const;

    // Whether restores and saves take place at all.
    bool Active() const { return Active_; }
    void SetActive(bool active) { Active_ = active; }
    // Stored as FormVersion; a file with a lower version restores nothing.
    int Version() const { return Version_; }
    void SetVersion(int version) { Version_ = version; }
    // Empty: the executable's name with ".INI"; a name without a folder lies in the settings
    // folder.
    QString IniFileName() const { return IniFileName_; }
    void SetIniFileName(const QString& name) { IniFileName_ = name; }
    // Empty: the owner's class name.
    QString IniSection() const { return IniSection_; }
    void SetIniSection(const QString& section) { IniSection_ = section; }

    // The file and section in use. IniPath() throws std::runtime_error for a name without a
    // folder when there is no settings folder.
    QString IniPath() const;
    QString Section() const;

    // The owner is complete: takes over its show, close and destruction.
    virtual void Loaded();

    void SaveFormPlacement();
    void RestoreFormPlacement();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The stored values after the placement: written by a save, read back by a restore.
    virtual void SaveStoredValues(TIniText& ini);
    virtual void RestoreStoredValues(const TIniText& ini);

    std::string SectionKey() const;
    // Writes a value under the section; a refused write ends the save with "Unable to write to".
    void Write(TIniText& ini, const std::string& key, const std::string& value) const;

private:
    void Save();
    void OwnerDestroyed();
    void SavePlacement(TIniText& ini);
    void RestorePlacement(const TIniText& ini);

    bool Active_ = true;
    int Version_ = 0;
    QString IniFileName_;
    QString IniSection_;
    // The owner's class name, taken while the owner is whole.
    QString OwnerClass_;
    bool Restored_ = false;
    bool Saved_ = false;
    bool Destroying_ = false;
};

} // namespace settings
