// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The one way the program writes a file: replace in one step, append a line, make a new file,
// open a file of this user's; what each refuses and how each failure is told.
#include "DurableFile.h"
#include "Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

mode_t ModeOf(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Sets the soft limit of a file's size (-1: as high as the hard one); returns the limits before.
rlimit FileSizeLimit(long long bytes) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = bytes < 0 ? old.rlim_max : static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    return old;
}

bool GiveToNobody(const QString& path) {
    return ::lchown(QFile::encodeName(path).constData(), Nobody, Nobody) == 0;
}

// Everything that comes out of `fd` until its writers are gone, read on a thread of its own.
class TReader {
public:
    explicit TReader(int descriptor)
        : fd(descriptor), thread([this] {
              char buffer[65536];
              ssize_t n = 0;
              while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
                  bytes.append(buffer, n > 0 ? n : 0);
              }
          }) {}
    QByteArray Finish() {
        thread.join();
        ::close(fd);
        return bytes;
    }

private:
    int fd;
    QByteArray bytes;
    std::thread thread;
};

} // namespace

class TestDurableFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void operations_data();
    void operations();
    void unprivilegedCases();
    void linkSwappedInIsNotFollowed();
};

void TestDurableFile::initTestCase() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a write past the file size limit fails instead
    ::umask(022);
}

void TestDurableFile::operations_data() {
    // replace, check (whether a replace can work), append, create, open
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("scene"); // what stands at the path first
    QTest::addColumn<QString>("user");  // any, root (makes others' files), user (not root)
    QTest::addColumn<QString>("step");  // the failing step; empty: success
    const auto row = [](const char* operation, const char* scene, const char* user,
                        const char* step) {
        QTest::addRow("%s: %s", operation, scene) << operation << scene << user << step;
    };
    // The guarantees: modes, the user's own links, nothing left beside the file.
    row("replace", "nothing", "any", "");
    row("replace", "a file of mode 0600", "any", "");
    row("replace", "an own link", "any", "");
    row("replace", "an own link to nothing", "any", "");
    row("append", "nothing", "any", "");
    row("append", "a file of mode 0600", "any", "");
    row("append", "an own link", "any", "");
    // A record opened for a run that never started: removed when it was made for it.
    row("discard", "nothing", "any", "");
    row("discard", "a file of mode 0600", "any", "");
    row("create", "nothing", "any", "");
    row("create", "a file of mode 0600", "any", "");
    row("create", "an own link", "any", "");
    row("create", "a sticky folder of another user's", "root", "");
    row("open", "a file of mode 0600", "any", "");
    row("check", "nothing", "any", "");
    row("check", "a name too long for the temporary file", "any",
        "cannot make a temporary file in the folder");
    // Pipes, FIFOs and devices: flushed as far as they can be, never waited for.
    row("append", "a pipe", "any", "");
    row("append", "a FIFO with a reader", "any", "");
    row("append", "a FIFO without a reader", "any", "no reader on the other side");
    row("replace", "a FIFO", "any", "cannot replace");
    row("open", "a FIFO", "any", "cannot open");
    row("append", "a full device", "any", "cannot write");
    row("append", "a FIFO whose reader stops reading", "any", "cannot write");
    // A record is whole lines: a line cut off is ended, a write cut short is cut back.
    row("append", "a file cut off in a line", "any", "");
    row("append", "a disk that fills in a line", "any", "cannot write");
    // Others' files and links: refused, even for root.
    for (const char* operation : {"replace", "check", "append", "open"}) {
        row(operation, "a link of another user's", "root", "refused");
        row(operation, "a file of another user's", "root", "refused");
        row(operation, "a folder of another user's", "root", "refused");
        row(operation, "a link of another user's on the way", "root", "refused");
    }
    row("append", "a FIFO of another user's", "root", "refused");
    row("create", "a folder of another user's", "root", "refused");
    // Folders that take no file.
    row("replace", "a read-only folder", "user", "cannot make a temporary file in the folder");
    row("check", "a read-only folder", "user", "cannot make a temporary file in the folder");
    row("append", "a read-only folder", "user", "cannot open");
    row("create", "a read-only folder", "user", "cannot make");
    row("replace", "a folder gone", "any", "cannot use the folder");
    row("append", "a folder gone", "any", "cannot use the folder");
    row("create", "a folder gone", "any", "cannot use the folder");
    row("open", "a folder gone", "any", "cannot use the folder");
}

void TestDurableFile::operations() {
    QFETCH(QString, operation);
    QFETCH(QString, scene);
    QFETCH(QString, user);
    QFETCH(QString, step);
    if ((user == "root") != (geteuid() == 0) && user != "any") {
        QSKIP(user == "root" ? "needs root to make another user's files"
                             : "permission bits do not stop root: run as another user below");
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString folder = dir.filePath("folder");
    QVERIFY(QDir().mkpath(folder));
    const QString theirs = dir.filePath("theirs");
    WriteFile(theirs, "theirs\n");
    QString path = folder + "/file";
    QString written = path; // where the bytes must arrive
    mode_t mode = operation == "create" ? 0600 : 0644;
    int pipeEnds[2] = {-1, -1};
    int stopped = -1; // a reader that reads nothing
    std::optional<TReader> reader;
    QByteArray before; // what the file held
    if (scene == "a file of mode 0600") {
        before = "old\n";
        WriteFile(path, before);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
        mode = 0600;
    } else if (scene.startsWith("an own link")) {
        written = dir.filePath("target");
        if (scene == "an own link") {
            before = "old\n";
            WriteFile(written, before);
        }
        QVERIFY(QFile::link(written, path));
    } else if (scene == "a pipe") {
        QCOMPARE(::pipe2(pipeEnds, O_CLOEXEC), 0);
        path = QStringLiteral("/proc/self/fd/%1").arg(pipeEnds[1]);
        reader.emplace(pipeEnds[0]);
    } else if (scene.startsWith("a FIFO")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (scene == "a FIFO of another user's") {
            QVERIFY(GiveToNobody(path));
        } else if (scene == "a FIFO whose reader stops reading") {
            stopped = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(stopped >= 0);
        } else if (scene == "a FIFO with a reader") {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(fd >= 0 && ::fcntl(fd, F_SETFL, 0) == 0);
            // A writer of the test's own until the operation is done: without one, the reader
            // could see the end of the FIFO before the operation has opened it.
            pipeEnds[1] = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
            QVERIFY(pipeEnds[1] >= 0);
            reader.emplace(fd);
        }
    } else if (scene == "a full device") {
        path = QStringLiteral("/dev/full");
    } else if (scene == "a link of another user's") {
        QVERIFY(QFile::link(theirs, path));
        QVERIFY(GiveToNobody(path));
    } else if (scene == "a link of another user's on the way") {
        QVERIFY(QDir().mkpath(dir.filePath("root-only")));
        WriteFile(dir.filePath("root-only/file"), "theirs\n");
        written = dir.filePath("root-only/file");
        QVERIFY(QFile::link(dir.filePath("root-only"), folder + "/on-the-way"));
        QVERIFY(GiveToNobody(folder + "/on-the-way"));
        path = folder + "/on-the-way/file";
    } else if (scene == "a file cut off in a line") {
        before = "old";
        WriteFile(path, before);
    } else if (scene == "a file of another user's") {
        WriteFile(path, "theirs\n");
        QVERIFY(GiveToNobody(path));
        written = theirs;
    } else if (scene.endsWith("folder of another user's")) {
        QVERIFY(GiveToNobody(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(),
                        scene.startsWith("a sticky") ? 01777 : 0755) == 0);
    } else if (scene == "a read-only folder") {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    } else if (scene == "a name too long for the temporary file") {
        path = folder + '/' + QString(250, QLatin1Char('n'));
    } else if (scene == "a folder gone") {
        path = dir.filePath("gone/file");
    }

    // More than a pipe holds.
    const QByteArray line = scene == "a pipe" || scene.contains("stops reading")
                                ? QByteArray(256 << 10, 'x')
                                : QByteArray("new");
    // Room for two lines and half a third.
    const rlimit unlimited = FileSizeLimit(scene == "a disk that fills in a line" ? 10 : -1);
    const bool stood = QFileInfo(path).exists() || QFileInfo(path).isSymLink();
    DurableFile::TResult result;
    if (operation == "replace") {
        result = DurableFile::Replace(path, line + '\n', 0644);
    } else if (operation == "check") {
        result = DurableFile::CanReplace(path);
    } else if (operation == "append") {
        // A reader that stopped is waited for only briefly here; one that reads, long enough.
        DurableFile::TAppender appender(stopped >= 0 ? std::chrono::milliseconds(100)
                                                     : DurableFile::TAppender::WriteWait);
        result = appender.Open(path, 0644);
        // More lines than are written between two flushes; none after a failure.
        for (int i = 0; result && i <= DurableFile::TAppender::SyncEvery; ++i) {
            result = appender.Append(line);
        }
        if (!result) {
            QCOMPARE(appender.Append(line).Message(), result.Message());
            QVERIFY(!appender.IsOpen());
        }
        if (result) {
            result = appender.Close();
        }
    } else if (operation == "discard") {
        DurableFile::TAppender appender;
        result = appender.Open(path, 0644);
        appender.Discard();
    } else if (operation == "create") {
        QString created;
        result = DurableFile::CreateNew(QFileInfo(path).absolutePath(), "file", "", line + '\n',
                                        0600, &created);
        if (result) {
            QCOMPARE(created == path, before.isEmpty() && !scene.startsWith("an own link"));
            QVERIFY(created.startsWith(path));
            written = created;
        }
    } else {
        int fd = -1;
        result = DurableFile::OpenOwn(path, O_RDWR | O_CREAT, 0600, &fd);
        QCOMPARE(fd >= 0, result.Ok());
        if (fd >= 0) {
            QVERIFY(DurableFile::WriteAll(fd, line + '\n', path));
            ::ftruncate(fd, line.size() + 1);
            ::close(fd);
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    if (stopped >= 0) {
        ::close(stopped);
    }
    if (pipeEnds[1] >= 0) {
        ::close(pipeEnds[1]);
    }
    const QByteArray received = reader ? reader->Finish() : QByteArray();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(result.Step, step);
    QCOMPARE(result.Message().isEmpty(), step.isEmpty());
    const int lines = operation == "append" ? DurableFile::TAppender::SyncEvery + 1 : 1;
    QByteArray expected;
    for (int i = 0; i < lines; ++i) {
        expected += line + '\n';
    }
    if (operation == "check" || operation == "discard") {
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), stood); // nothing made
        if (operation == "discard") {
            QCOMPARE(ReadFile(path), stood ? before : QByteArray("<unreadable>"));
        }
    } else if (step.isEmpty() && reader) {
        QCOMPARE(received, expected);
    } else if (step.isEmpty()) {
        const QByteArray ended = before.isEmpty() || before.endsWith('\n') ? before : before + '\n';
        QCOMPARE(ReadFile(written), operation == "append" ? ended + expected : expected);
        QCOMPARE(ModeOf(written), mode);
        if (operation == "create" && !before.isEmpty()) {
            QCOMPARE(ReadFile(path), before); // the name taken stays as it was
        }
    }
    if (scene == "a disk that fills in a line") {
        QCOMPARE(ReadFile(written), QByteArray("new\nnew\n"));
    }
    // Another user's file is never written, nor anything left beside a file.
    QCOMPARE(ReadFile(theirs), QByteArray("theirs\n"));
    if (scene == "a file of another user's" || scene.endsWith("on the way")) {
        QCOMPARE(ReadFile(written), QByteArray("theirs\n"));
    }
    const QStringList left = QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries |
                                                    QDir::System | QDir::Hidden);
    for (const QString& name : left) {
        QVERIFY2(!name.contains(".tmp-"), qPrintable(name));
    }
}

// Permission bits do not stop root: as root, the cases that need them run again in this test
// program as the unprivileged user "nobody".
void TestDurableFile::unprivilegedCases() {
    if (geteuid() != 0) {
        QSKIP("not root: those cases ran directly");
    }
    const QStringList cases{
        "operations:replace: a read-only folder", "operations:append: a read-only folder",
        "operations:create: a read-only folder", "operations:check: a read-only folder"};
    const QByteArray failures = FailuresAsNobody(cases);
    QVERIFY2(failures.isEmpty(), failures.constData());
}

// Another user swaps a link to root's file in and out where root's record goes, in a sticky
// folder of theirs (where the system follows their links): whenever the link comes, between
// the look and the open or before, root's file is never written through it.
void TestDurableFile::linkSwappedInIsNotFollowed() {
    if (geteuid() != 0) {
        QSKIP("needs root to swap links as another user");
    }
    // In memory when the system has it, where a flush to disk costs nothing.
    QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/morvel-test-XXXXXX")
                                                : QString());
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ExeOther));
    const QByteArray secret = QFile::encodeName(dir.filePath("secret"));
    WriteFile(QFile::decodeName(secret), "root only\n");
    const QString shared = dir.filePath("shared");
    QVERIFY(QDir().mkdir(shared) && GiveToNobody(shared));
    QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
    const QString path = shared + "/record";
    const QByteArray name = QFile::encodeName(path);
    const pid_t swapper = ::fork();
    if (swapper == 0) {
        if (::setresgid(Nobody, Nobody, Nobody) == 0 && ::setresuid(Nobody, Nobody, Nobody) == 0) {
            for (;;) {
                ::symlink(secret.constData(), name.constData());
                ::unlink(name.constData());
            }
        }
        ::_exit(1);
    }
    QVERIFY(swapper > 0);
    // Until the link has been met at the look many times, and the name free as often.
    int refused = 0;
    int written = 0;
    struct stat status {};
    for (int attempt = 0; attempt < 100000 && (refused < 300 || written < 300) &&
                          ::stat(secret.constData(), &status) == 0 && status.st_size == 10;
         ++attempt) {
        DurableFile::TResult result;
        if (attempt % 2 == 0) {
            DurableFile::TAppender appender;
            result = appender.Open(path, 0644);
            if (result) {
                result = appender.Append("line");
            }
        } else {
            result = DurableFile::Replace(path, "line\n", 0644);
        }
        refused += result.Step == "refused";
        written += result.Ok();
        ::unlink(name.constData()); // room for the link again
    }
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    QCOMPARE(ReadFile(QFile::decodeName(secret)), QByteArray("root only\n"));
    QVERIFY2(refused >= 300 && written >= 300, "the link was not swapped in and out");
}

QTEST_GUILESS_MAIN(TestDurableFile)
#include "tst_durablefile.moc"
