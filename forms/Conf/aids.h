// What the main window offers an administrator beyond its rows: page switching and unsetting
// from the keyboard, finding a parameter by key or caption, a selected default marker on
// entering an edit, port values readable in full, checked texts marked while typing.
#pragma once

#include <QObject>

#include "model/catalogue.h"

class QLineEdit;
class QTabWidget;
class TSetup;

class EditorAids : public QObject {
    Q_OBJECT
  public:
    explicit EditorAids(TSetup& window);

    QLineEdit* search() const { return ParamSearch; }
    // A control just made: its edit watched for the default marker, a checked text checked
    // as it changes.
    void watch(orbex::Id id);
    // Ctrl+Tab and Ctrl+Shift+Tab: the next or previous page, wherever the focus is.
    void switchPage(int step);
    // Ctrl+Shift+D: the parameter whose control has the focus made unset, as its "D" does.
    void unsetFocused();
    // Ctrl+F: the search field, ready for typing.
    void openSearch();
    // The parameter a search text names: a key in any case, a caption or its beginning, or a
    // completion "KEY — caption"; nullopt when none does.
    static std::optional<orbex::Id> parameterOf(const QString& text);
    // The parameter's page shown and its control given the focus.
    void focusParameter(orbex::Id id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void watchEdit(QLineEdit* edit);
    void makeCompleter();
    void findTyped();
    // A checked text marked while it would be reset at the save: a red frame, the reason in
    // its tooltip. Nothing is reset here.
    void liveCheck();
    static void showCheck(QLineEdit* edit, bool bad, orbex::Check check);
    int pageOf(const QWidget* w) const;

    TSetup& window_;
    QTabWidget* tabs_ = nullptr;
    QLineEdit* ParamSearch = nullptr;
};
