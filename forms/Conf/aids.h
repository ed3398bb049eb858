// What the main window offers an administrator beyond its rows: page switching and unsetting
// from the keyboard, finding a parameter by key or caption,
// checked texts marked while typing.
#pragma once

#include <QObject>
#include <functional>

#include "model/catalogue.h"

class ControlStore;
class QLineEdit;
class QMainWindow;
class QTabWidget;

class EditorAids : public QObject {
    Q_OBJECT
  public:
    // The aids of `window`, whose rows hold the controls of `controls`; `unsetParam` does what
    // a row's "D" does.
    EditorAids(QMainWindow& window, const ControlStore& controls,
               std::function<void(orbex::Id)> unsetParam);

    QLineEdit* search() const { return ParamSearch; }
    // A control just made: a checked text checked as it changes.
    void watch(orbex::Id id);
    // Ctrl+Tab and Ctrl+Shift+Tab: the next or previous page, wherever the focus is.
    void switchPage(int step);
    // Ctrl+Shift+D (the window's menu): the parameter whose control has the focus made unset,
    // as its "D" does.
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
    void makeCompleter();
    void findTyped();
    // A checked text marked while it would be reset at the save: a red frame, the reason in
    // its tooltip. Nothing is reset here.
    void liveCheck();
    static void showCheck(QLineEdit* edit, bool bad, orbex::Check check);
    int pageOf(const QWidget* w) const;

    QMainWindow& window_;
    const ControlStore& controls_;
    std::function<void(orbex::Id)> unsetParam_;
    QTabWidget* tabs_ = nullptr;
    QLineEdit* ParamSearch = nullptr;
};
