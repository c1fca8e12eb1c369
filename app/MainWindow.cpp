#include "app/MainWindow.h"

#include <QCloseEvent>

#include "ui_MainWindow.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow) {
    ui->setupUi(this);
    mainController = new MainController(this, ui.get());
    mainController->awakeFromNib();
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!mainController->windowShouldClose()) {
        event->ignore();  // closes once the running sequence has ended
        return;
    }
    if (quitCheck && !quitCheck()) {
        event->ignore();
        return;
    }
    event->accept();
    mainController->windowWillClose();
}
