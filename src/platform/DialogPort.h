// Dialogs described by templates and driven by a dialog procedure in the core.
// Positions are dialog units (a quarter of the average character width across, an eighth
// of the character height down), as in the dialog resources the layouts come from.
#pragma once

#include <string>
#include <vector>

namespace vocara::platform {

enum class ControlKind {
  Label,         // static text, left-aligned
  CentredLabel,  // static text, centred, may span lines
  Icon,          // the program icon
  GroupBox,
  Edit,  // bordered, right-aligned single-line field
  Button,
  DefaultButton,  // the button Enter presses
  CheckBox,
  RadioButton,
  DropDownList,  // a combo box that only selects from its list
};

struct ControlTemplate {
  int id = 0;  // -1 for controls without an id
  ControlKind kind = ControlKind::Label;
  std::string text;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct DialogTemplate {
  std::string title;
  int width = 0;
  int height = 0;
  std::vector<ControlTemplate> controls;
};

// The live dialog as the procedure sees it.
class DialogHandle {
 public:
  virtual ~DialogHandle() = default;
  virtual std::string GetText(int id) const = 0;
  virtual void SetText(int id, const std::string& text) = 0;
  virtual bool IsChecked(int id) const = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual void ClearItems(int id) = 0;
  virtual void AddItem(int id, const std::string& text) = 0;
  virtual int GetSelection(int id) const = 0;  // -1 when nothing is selected
  virtual void SetSelection(int id, int index) = 0;
  virtual void SetEnabled(int id, bool enabled) = 0;
  virtual bool IsVisible() const = 0;
  virtual void BringToTop() = 0;
  // Ends a modal dialog with the result, or closes a modeless one.
  virtual void End(int result) = 0;
};

// Command ids the dialog host reports for the two standard ways out.
inline constexpr int DialogOk = 1;
inline constexpr int DialogCancel = 2;  // also the close box and Esc

class DialogProcedure {
 public:
  virtual ~DialogProcedure() = default;
  virtual void OnInit(DialogHandle& dialog) = 0;
  // Buttons, check boxes, and the close box / Esc as DialogCancel.
  virtual void OnCommand(DialogHandle& dialog, int id) = 0;
  virtual void OnSelectionChange(DialogHandle& /*dialog*/, int /*id*/) {}
  // A left-button press on the dialog's own surface or a static control.
  virtual void OnLeftButtonDown(DialogHandle& /*dialog*/) {}
  // A modeless dialog is gone; the handle is no longer valid.
  virtual void OnDestroyed() {}
};

class DialogPort {
 public:
  virtual ~DialogPort() = default;
  // Runs the dialog modally over the owner window and returns the result passed to End.
  virtual int RunModal(int ownerView, const DialogTemplate& dialog, DialogProcedure& procedure) = 0;
  // Creates and shows a modeless dialog; the procedure must outlive it.
  virtual DialogHandle* CreateModeless(int ownerView, const DialogTemplate& dialog,
                                       DialogProcedure& procedure) = 0;
};

}  // namespace vocara::platform
