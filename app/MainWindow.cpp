#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QTabWidget>

#include "app/SensorsOverview.h"
#include "ui_MainWindow.h"
#ifdef VRAX_HAVE_PREVIEW
#include "app/MeasurePanel.h"
#endif

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow) {
    ui->setupUi(this);
    mainController = new MainController(this, ui.get());
    mainController->awakeFromNib();

    // The one-sensor window is the first page; the overview of every sensor the second.
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("mainTabs"));
    tabs->setDocumentMode(true);
    QWidget* single = takeCentralWidget();
    tabs->addTab(single, QStringLiteral("Sensor"));
    overviewPage = new SensorsOverview(mainController, tabs);
    overviewPage->setObjectName(QStringLiteral("sensorsOverview"));
    tabs->addTab(overviewPage, QStringLiteral("Sensors Overview"));
    setCentralWidget(tabs);
#ifdef VRAX_HAVE_PREVIEW
    overviewPage->setConfigSource([this]() -> std::optional<measure::Config> {
        return mainController->measurePanel()->config();
    });
#endif
    overviewPage->setFilteredSource([this] { return ui->ad16FilterCB->isChecked(); });
    connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (tabs->widget(index) == overviewPage && !mainController->busy())
            overviewPage->reloadSensors();
    });
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
