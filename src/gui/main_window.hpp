#pragma once
// The main window: the widgets of the window model's controls, one per
// control id. It draws what the model hands over (ApplyControl) and forwards
// clicks, selections, list openings and edits to the model; it decides
// nothing itself.
//
// Keys: Enter does nothing; Esc ends the program without the close routine.
// The close box asks the model first (a running operation is confirmed),
// then runs its close routine and ends the program with its status.

#include <QMainWindow>
#include <functional>
#include <map>

#include "platform/control_ids.hpp"
#include "platform/control_state.hpp"

class QAction;
class QLabel;
class QMenu;
class QScrollArea;
class QWidget;

namespace tavro::app {
class CTAVRODlg;
}

namespace tavro::gui {

// Exit status when Esc ends the program.
inline constexpr int kEscapeExitStatus = 0;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Receives the exit status once the window has ended the program's run.
  using ExitHandler = std::function<void(int status)>;

  // Builds every control with the window's own texts; the model's texts
  // replace them as it hands them over.
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // The model that receives the inputs. Until then inputs are dropped.
  void Attach(app::CTAVRODlg& model);
  // The running transfer's line beside the progress bar.
  void ShowTransferLine(const std::string& line);
  // The line beside the progress bar, painted at once: the event loop does
  // not run while the model waits for the program directory's lock.
  void ShowNotice(const std::string& text);
  // By default the Qt application exits with the status.
  void SetExitHandler(ExitHandler onExit) { onExit_ = std::move(onExit); }

  // Shows one control's state; ids without a widget are ignored.
  void ApplyControl(int id, const platform::ControlState& state);

  // The widget of a control id; nullptr when there is none.
  QWidget* Control(int id) const;
  // The state icon a picture control shows (platform::kIconNone when none).
  int IconShown(int id) const;
  // The menu entry that builds a package description.
  QAction* BuildPackageAction() const { return buildPackage_; }
  QAction* RollBackAction() const { return OperationAction(platform::kRollBackAction); }
  // The menu entry of the operation `id` starts; null for none.
  QAction* OperationAction(int id) const {
    const auto it = operationActions_.find(id);
    return it == operationActions_.end() ? nullptr : it->second;
  }
  QMenu* ToolsMenu() const { return tools_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* BuildBasicSettings();
  QWidget* BuildFunctions();
  QWidget* BuildInformation();
  QWidget* BuildDeveloperPanel();
  void BuildMenu();
  // The menu's captions in the model's language, once it has one.
  void ApplyMenuCaptions();

  QLabel* AddLabel(int id, const QString& text);
  QLabel* AddPicture(int id);
  QWidget* AddHidden(int id, const platform::ControlState& initial);
  void Register(int id, QWidget* widget);
  void Wire(int id, QWidget* widget);
  void ShowIcon(int id, int icon);
  void Exit(int status);

  app::CTAVRODlg* model_ = nullptr;
  ExitHandler onExit_;
  bool ended_ = false;
  std::map<int, QWidget*> controls_;
  std::map<int, int> icons_;
  QScrollArea* infoScroll_ = nullptr;
  QLabel* transferLine_ = nullptr;
  QMenu* tools_ = nullptr;
  QAction* buildPackage_ = nullptr;
  std::map<int, QAction*> operationActions_;
};

}  // namespace tavro::gui
