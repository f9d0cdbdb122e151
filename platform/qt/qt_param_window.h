#pragma once
#include <QPointer>
#include <QWidget>
#include <array>
#include <string>

#include "builder/param_layout.h"
#include "builder/param_view.h"

class QTabWidget;

// The configuration window: a fixed-size top-level window whose controls are built from
// ParamLayout() at their twips positions. Positions of controls on a tab count from the
// top-left corner of the tab control, tab row included, as the layout gives them.
// Closing it destroys it (WA_DeleteOnClose).
class QtParamWindow final : public QWidget, public IParamView {
    Q_OBJECT
  public:
    QtParamWindow();
    ~QtParamWindow() override;

    QWidget* widget(Ctl control) const { return widgets_[Index(control)]; }
    QTabWidget* tabWidget() const;
    // Where the preview's browser goes.
    QWidget* browserHost() const { return widget(Ctl::WebBrowser1); }

    std::string Caption(Ctl control) override;
    void SetCaption(Ctl control, const std::string& text) override;
    void SetTabCaption(int tab, const std::string& text) override;
    int Tab() override;
    void SetTab(int tab) override;
    void ListClear(Ctl list) override;
    void ListAdd(Ctl list, const std::string& item) override;
    void ComboSelect(Ctl combo, int index) override;
    int CheckValue(Ctl checkBox) override;
    bool Visible(Ctl control) override;
    void SetVisible(Ctl control, bool visible) override;
    TwipsRect Rect(Ctl control) override;
    void Move(Ctl control, const TwipsRect& rect) override;
    void AutoSize(Ctl label) override;
    bool LoadPicture(Ctl picture, const std::string& path) override;
    void Show() override;
    void Close() override;

    // The font of the window's controls: "MS Sans Serif" where installed, otherwise the
    // system's sans-serif family, at the given size.
    static QFont ControlFont(int pointSize);

  signals:
    // The window is being destroyed; its controls still exist.
    void destroying();

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    class TabControl;
    static std::size_t Index(Ctl control) { return static_cast<std::size_t>(control); }
    QWidget* create(const CtlDesign& design);
    QWidget* parentFor(const CtlDesign& design) const;
    // Offset from the tab control's corner to its page widgets, in pixels.
    QPoint pageOffset(const CtlDesign& design) const;
    void fitToText(Ctl label);
    void onTabChanged(int index);

    TabControl* tabs_ = nullptr;
    std::array<QWidget*, static_cast<std::size_t>(Ctl::Count)> widgets_{};
    // Captions of labels, buttons and the check box as set, for reading back unchanged.
    std::array<std::string, static_cast<std::size_t>(Ctl::Count)> captions_;
    int currentTab_ = 0;
    bool shown_ = false;
};
