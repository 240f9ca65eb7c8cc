// Dialogs built from the core's templates: absolutely placed Qt controls on a QDialog, with
// the control events reported to the core's dialog procedure.
#pragma once

#include <QDialog>
#include <map>

#include "platform/DialogPort.h"

namespace vocara::platform::qt {

class QtWindows;

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

 private:
  DialogProcedure& procedure_;
  bool modal_;
  bool ended_ = false;
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
