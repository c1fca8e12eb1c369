#include "app/PreviewOpener.h"

#include <QFileDialog>

#include "app/Messages.h"
#include "app/MyTools.h"
#ifdef VRAX_HAVE_PREVIEW
#include "preview/PreviewWindow.h"
#endif

void PreviewOpener::choose(const QString& folder) {
    auto* panel =
        new QFileDialog(window, msg::previewPanelTitle(), folder, msg::previewPanelFilter());
    panel->setObjectName(QStringLiteral("previewPanel"));
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::finished, this,
            [this, panel](int result) { panelDidEnd(panel->selectedFiles(), result); });
    panel->open();
}

void PreviewOpener::panelDidEnd(const QStringList& chosen, int returnCode) {
    if (returnCode != QDialog::Accepted || chosen.isEmpty()) return;
    open(chosen.first());
}

bool PreviewOpener::open(const QString& path) {
#ifdef VRAX_HAVE_PREVIEW
    QString why;
    preview::PreviewWindow* w = preview::PreviewWindow::openFile(path, window, why);
    if (!w) {
        MyTools::dispMessageOK(why, msg::error());
        return false;
    }
    w->show();
    w->raise();
    return true;
#else
    MyTools::dispMessageOK(msg::noPreviewInBuild(path), msg::error());
    return false;
#endif
}
