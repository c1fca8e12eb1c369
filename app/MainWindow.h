// The main window: the controls of MainWindow.ui and their controller.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/MainController.h"

class QTabWidget;
class SensorsOverview;
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    MainController* controller() const { return mainController; }
    Ui::MainWindow* controls() const { return ui.get(); }
    SensorsOverview* overview() const { return overviewPage; }
    QTabWidget* pages() const { return tabs; }
    // Asked before the window closes and the application quits; false keeps it open.
    void setQuitCheck(std::function<bool()> check) { quitCheck = std::move(check); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::unique_ptr<Ui::MainWindow> ui;
    MainController* mainController;
    QTabWidget* tabs = nullptr;
    SensorsOverview* overviewPage = nullptr;
    std::function<bool()> quitCheck;
};
