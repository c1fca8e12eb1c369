#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUndoCommand>

#include "AppFixture.h"
#include "app/AppDelegate.h"

namespace {

class DelegateTest : public ::testing::Test {
  protected:
    void SetUp() override { MyTools::setPresenter(&presenter); }
    void TearDown() override { MyTools::setPresenter(nullptr); }
    RecordingPresenter presenter;
    TempFolder temp;
};

TEST_F(DelegateTest, AFileWhereTheFolderShouldBeIsReportedAndRetried) {
    const QString where = temp.q() + "/data";
    QFile(where).open(QIODevice::WriteOnly);
    AppDelegate delegate(where);
    EXPECT_EQ(delegate.managedObjectContext(), nullptr);
    ASSERT_EQ(presenter.messages.size(), 2u);
    EXPECT_EQ(presenter.messages[0].text,
              "Expected a folder to store application data, found a file (" + where + ").");
    EXPECT_TRUE(presenter.messages[1].text.startsWith("Failed to initialize the store"));

    QFile::remove(where);  // the next use tries again and makes the folder
    ASSERT_NE(delegate.managedObjectContext(), nullptr);
    EXPECT_TRUE(QFileInfo(where).isDir());
}

TEST_F(DelegateTest, QuittingSavesOrAsksWhenSavingFails) {
    AppDelegate untouched(temp.q() + "/never");
    EXPECT_EQ(untouched.applicationShouldTerminate(), AppDelegate::TerminateReply::terminateNow);
    EXPECT_FALSE(QFileInfo::exists(temp.q() + "/never"));

    const QString where = temp.q() + "/a/b";
    AppDelegate delegate(where);
    ManagedObjectContext* context = delegate.managedObjectContext();
    ASSERT_NE(context, nullptr);
    EXPECT_TRUE(QFileInfo(where).isDir());
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::terminateNow);

    // A change that saves: quit goes ahead and the store file is written.
    delegate.windowWillReturnUndoManager()->push(new QUndoCommand("edit"));
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::terminateNow);
    EXPECT_TRUE(QFileInfo::exists(context->storeFile()));

    // A change that cannot be saved: the user is asked.
    QFile::remove(context->storeFile());
    QDir().mkdir(context->storeFile());
    delegate.windowWillReturnUndoManager()->push(new QUndoCommand("edit"));
    presenter.answer = 1;  // "Cancel"
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::terminateCancel);
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(presenter.questions[0].title, "Could not save changes while quitting. Quit anyway?");
    // The failed save leaves nothing behind.
    EXPECT_FALSE(QFileInfo::exists(context->storeFile() + ".part"));
    presenter.answer = 0;  // "Quit anyway"
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::terminateNow);
}

TEST_F(DelegateTest, SavingRenewsTheStoreFileWithoutFollowingALink) {
    AppDelegate delegate(temp.q() + "/data");
    ManagedObjectContext* context = delegate.managedObjectContext();
    ASSERT_NE(context, nullptr);
    const std::string store = QFile::encodeName(context->storeFile()).toStdString();
    const std::string elsewhere = temp.path + "/elsewhere.txt";
    writeFile(elsewhere, "not the store");
    ASSERT_EQ(symlink(elsewhere.c_str(), store.c_str()), 0);

    delegate.windowWillReturnUndoManager()->push(new QUndoCommand("edit"));
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::terminateNow);
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(readFile(elsewhere), "not the store");
    const QFileInfo info(context->storeFile());
    EXPECT_FALSE(info.isSymLink());
    EXPECT_TRUE(info.isFile());
    EXPECT_FALSE(context->hasChanges());
    QString error;
    EXPECT_TRUE(ManagedObjectContext(context->storeFile()).load(error)) << error.toStdString();
    EXPECT_EQ(QDir(temp.q() + "/data").entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 1);
}

}  // namespace
