// Dialogs built from the core's templates: absolutely placed Qt controls on a QDialog, with
// the control events reported to the core's dialog procedure.
#pragma once

#include <QDialog>
#include <QShowEvent>
#include <map>

#include "platform/DialogPort.h"

namespace vocara::platform::qt {

class QtWindows;

// Places a top-level dialog or message box (sized, about to be shown) centred on the window it
// belongs to: its parent's window, else the active window, else the program's window with the
// menu bar. A dialog that would cover a menu bar of the program moves below it, and the whole
// dialog, window frame included, stays in the work area of the owner's screen.
void PlaceOverOwner(QWidget& dialog);

// A Qt dialog (message box, file dialog) placed so when it is first shown, once it knows its size.
template <typename Dialog>
class OwnerPlaced final : public Dialog {
 public:
  using Dialog::Dialog;

 protected:
  void showEvent(QShowEvent* event) override {
    Dialog::showEvent(event);
    if (!event->spontaneous()) PlaceOverOwner(*this);
  }
};

class DialogWindow final : public QDialog, public DialogHandle {
  Q_OBJECT

 public:
  DialogWindow(QWidget* owner, const DialogTemplate& dialog, DialogProcedure& procedure, bool modal);

  std::string GetText(int id) const override;
  void SetText(int id, const std::string& text) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  void ClearItems(int id) override;
  void AddItem(int id, const std::string& text) override;
  int GetSelection(int id) const override;
  void SetSelection(int id, int index) override;
  void SetEnabled(int id, bool enabled) override;
  bool IsVisible() const override;
  void BringToTop() override;
  void End(int result) override;

  bool Ended() const { return ended_; }
  // The control with the id, or null; controls are also named "control<id>".
  QWidget* Control(int id) const;

 protected:
  // Esc and the close box: the procedure decides whether the dialog ends.
  void reject() override;
  void mousePressEvent(QMouseEvent* event) override;
  // Enter with no button to press is the dialog's OK, as Esc is its Cancel.
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  DialogProcedure& procedure_;
  bool modal_;
  bool ended_ = false;
  bool placed_ = false;
  std::map<int, QWidget*> controls_;
};

class QtDialogs final : public DialogPort {
 public:
  explicit QtDialogs(QtWindows& windows) : windows_(windows) {}

  int RunModal(int ownerView, const DialogTemplate& dialog, DialogProcedure& procedure) override;
  DialogHandle* CreateModeless(int ownerView, const DialogTemplate& dialog,
                               DialogProcedure& procedure) override;

 private:
  QWidget* Owner(int view) const;

  QtWindows& windows_;
};

}  // namespace vocara::platform::qt
