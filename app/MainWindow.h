// The main window: the controls of MainWindow.ui and their controller.
#pragma once

#include <QMainWindow>
#include <memory>

#include "app/MainController.h"

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

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::unique_ptr<Ui::MainWindow> ui;
    MainController* mainController;
};
