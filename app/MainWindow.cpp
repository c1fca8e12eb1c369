#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QItemSelectionModel>
#include <QTabWidget>
#include <QTableView>

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
    // Live runs on the overview's selected sensors when several are selected.
    MeasurePanel* panel = mainController->measurePanel();
    panel->setSelectionSource([this] {
        QVector<SensorFleet::Sensor> list;
        const OverviewModel* rows = overviewPage->model();
        for (const QString& address : overviewPage->selectedAddresses())
            if (const int i = rows->rowOf(address); i >= 0)
                list.push_back({rows->row(i).name, address});
        return list;
    });
    connect(overviewPage->table()->selectionModel(), &QItemSelectionModel::selectionChanged, panel,
            &MeasurePanel::selectionChanged);
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
