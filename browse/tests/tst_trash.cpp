#include "browse/tests/trash_info.h"
#include "browse/trash.h"
#include "store/tests/fault_injection.h"
#include "store/tests/file_bytes.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <map>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Users with no entry in the password database: the one who trashes in the race, and the
// one who owns the traps.
constexpr uid_t ownerUid = 4242;
constexpr uid_t otherUid = 4343;

void makeFolder(const fs::path& folder, mode_t mode, uid_t owner)
{
    fs::create_directories(folder);
    QVERIFY(chmod(folder.c_str(), mode) == 0 && chown(folder.c_str(), owner, owner) == 0);
}

struct stat statusOf(const fs::path& path)
{
    struct stat status = {};
    lstat(path.c_str(), &status);
    return status;
}

std::string pictureName(int number)
{
    std::string name = "p";
    name += std::to_string(number);
    return name += ".jpg";
}

bool isThere(const fs::path& path)
{
    struct stat status = {};
    return lstat(path.c_str(), &status) == 0;
}

// The user this process becomes, with no capability left that passes over permissions.
void becomeUser(uid_t uid)
{
    if (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0
        || setresuid(uid, uid, uid) != 0)
        _exit(99);
    umask(022);
    // A test that ends early takes its children with it (set here: a change of user clears it).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// A forked child, ended and waited for when the test leaves, also by a failed check.
struct ChildProcess
{
    explicit ChildProcess(pid_t forked)
        : pid(forked)
    {
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Stop(); }
    void Stop()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            Wait();
        }
    }
    // The child's wait status once it ended.
    int Wait()
    {
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid)
            pid = -1;
        return status;
    }
    pid_t pid;
};

// The other user's moves in the race: each step takes a trash folder's place (the shared
// .Trash, .Trash/UID, its info or files, .Trash-UID) and puts there a link to one of the
// owner's private folders, a folder of the other user's, or one without the sticky bit.
// The other user's own folders are removed; the owner's, which cannot be, are renamed aside
// (there are no more of them than the owner made).
[[noreturn]] void runOtherUser(const fs::path& top, const std::string& uid,
                               const std::vector<fs::path>& victims, int ready)
{
    becomeUser(otherUid);
    umask(0);
    const fs::path shared = top / ".Trash";
    const fs::path sharedOwn = shared / uid;
    const fs::path own = top / (".Trash-" + uid);
    const auto trashLike = [](const fs::path& folder, mode_t mode) {
        mkdir(folder.c_str(), mode);
        chmod(folder.c_str(), mode);
        mkdir((folder / "info").c_str(), 0777);
        mkdir((folder / "files").c_str(), 0777);
    };
    unsigned step = 0;
    const auto displace = [&step](const fs::path& path) {
        std::error_code ec;
        fs::remove_all(path, ec);
        if (isThere(path))
            rename(path.c_str(), (path.string() + ".aside" + std::to_string(++step)).c_str());
    };
    trashLike(shared, 01777);
    trashLike(sharedOwn, 0777);
    if (write(ready, "!", 1) != 1)
        _exit(98);
    unsigned seed = 24;
    for (int round = 0; round < 1'000'000; ++round) {
        seed = seed * 1103515245 + 12345;
        const fs::path& victim = victims[(seed >> 8) % victims.size()];
        switch ((seed >> 16) % 8) {
        case 0:
            displace(shared);
            trashLike(shared, (seed >> 20) % 2 ? 01777 : 0777);
            break;
        case 1:
            displace(shared);
            symlink(victim.c_str(), shared.c_str());
            break;
        case 2:
            displace(sharedOwn);
            trashLike(sharedOwn, 0777);
            break;
        case 3:
            displace(sharedOwn);
            symlink(victim.c_str(), sharedOwn.c_str());
            break;
        case 4: {
            const fs::path inside = sharedOwn / ((seed >> 20) % 2 ? "info" : "files");
            displace(inside);
            symlink(victim.c_str(), inside.c_str());
            break;
        }
        case 5:
            displace(own);
            symlink(victim.c_str(), own.c_str());
            break;
        case 6:
            displace(own);
            trashLike(own, 0777);
            displace(own / "info");
            symlink(victim.c_str(), (own / "info").c_str());
            break;
        default:
            displace(own);
            break;
        }
        sched_yield();
    }
    _exit(0);
}

} // namespace

class TestTrash : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        // Other users reach their folders under the test's folder.
        QVERIFY(chmod(folder.path().toLocal8Bit().constData(), 0755) == 0);
        uid = std::to_string(getuid());
        // A private mount name space: the file systems the tests mount never show outside.
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
            noMount = std::string("no private mount name space (") + strerror(errno) + ")";
    }

    // Each test has a home on the test folder's file system and, at usb, a file system of its
    // own, mounted for everyone to write to (as a shared stick or partition is).
    void init()
    {
        root = fs::path(folder.path().toStdString()) / QTest::currentTestFunction();
        fs::remove_all(root);
        fs::create_directories(root / "home" / "pictures");
        fs::create_directories(root / "usb");
        qputenv("HOME", QByteArray::fromStdString((root / "home").string()));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((root / "home" / "share").string()));
        mounted = noMount.empty()
            && mount("tmpfs", (root / "usb").c_str(), "tmpfs", 0, "mode=0777") == 0;
        if (noMount.empty() && !mounted)
            noMount = std::string("no tmpfs can be mounted (") + strerror(errno) + ")";
        if (mounted) {
            fs::create_directories(root / "usb" / "pictures");
            fs::create_directories(root / "usb" / "private");
        }
    }

    void cleanup()
    {
        if (mounted)
            umount2((root / "usb").c_str(), MNT_DETACH);
        fs::remove_all(root);
    }

    // Where a file goes, prepared as a user of a shared file system may find it: only a
    // folder of the user's own that no link leads to takes the file, under the top of the
    // file system the file really lies on; a foreign or linked .Trash-UID refuses with its
    // reason. The home trash may be a link.
    void trashFolderIsTheUsersOwn_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("trash");
        QTest::addColumn<QString>("pathOrReason");
        const char* const rows[][5] = {
            // name, setup, file, the trash that takes it (none: refused), Path= or the reason
            {"shared .Trash", "shared", "usb/pictures/a.jpg", "usb/.Trash/UID", "pictures/a.jpg"},
            {".Trash/UID foreign", "shared foreign", "usb/pictures/a.jpg", "usb/.Trash-UID",
             "pictures/a.jpg"},
            {".Trash/UID a link", "shared link", "usb/pictures/a.jpg", "usb/.Trash-UID",
             "pictures/a.jpg"},
            {".Trash not sticky", "shared unsticky", "usb/pictures/a.jpg", "usb/.Trash-UID",
             "pictures/a.jpg"},
            {".Trash a link", "shared linked", "usb/pictures/a.jpg", "usb/.Trash-UID",
             "pictures/a.jpg"},
            {".Trash-UID foreign", "own foreign", "usb/pictures/a.jpg", "",
             "is owned by another user"},
            {".Trash-UID a link", "own link", "usb/pictures/a.jpg", "", "is a link"},
            {"under a folder link", "usb link", "home/usb/a.jpg", "usb/.Trash-UID",
             "pictures/a.jpg"},
            {"deeper under a folder link", "usb link", "home/usb/sub/a.jpg", "usb/.Trash-UID",
             "pictures/sub/a.jpg"},
            {"a link to a file elsewhere", "file link", "usb/pictures/a.jpg", "usb/.Trash-UID",
             "pictures/a.jpg"},
            {"home trash a link", "home link", "home/pictures/a.jpg", "home/elsewhere",
             "ROOT/home/pictures/a.jpg"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << row[1] << row[2] << row[3] << row[4];
    }

    void trashFolderIsTheUsersOwn()
    {
        QFETCH(QString, setup);
        QFETCH(QString, file);
        QFETCH(QString, trash);
        QFETCH(QString, pathOrReason);
        const auto place = [&](QString text) {
            return text.replace("UID", QString::fromStdString(uid))
                .replace("ROOT", QString::fromStdString(root.string()))
                .toStdString();
        };
        if (file.startsWith("usb") || trash.startsWith("usb")) {
            if (!mounted)
                QSKIP(("another file system is needed, but " + noMount).c_str());
        }
        const fs::path usb = root / "usb";
        const fs::path path = root / place(file);
        const fs::path trap = usb / "private";
        if (setup.startsWith("shared")) {
            makeFolder(usb / "shared", 01777, otherUid);
            if (setup.endsWith("linked"))
                fs::create_directory_symlink(usb / "shared", usb / ".Trash");
            else
                fs::rename(usb / "shared", usb / ".Trash");
            if (setup.endsWith("unsticky"))
                QVERIFY(chmod((usb / ".Trash").c_str(), 0777) == 0);
            if (setup.endsWith("foreign"))
                makeFolder(usb / ".Trash" / uid, 0777, otherUid);
            if (setup.endsWith(" link"))
                fs::create_directory_symlink(trap, usb / ".Trash" / uid);
        } else if (setup == "own foreign") {
            makeFolder(usb / (".Trash-" + uid), 0777, otherUid);
        } else if (setup == "own link") {
            fs::create_directory_symlink(trap, usb / (".Trash-" + uid));
        } else if (setup == "usb link") {
            fs::create_directories(usb / "pictures" / "sub");
            fs::create_directory_symlink(usb / "pictures", root / "home" / "usb");
        } else if (setup == "home link") {
            fs::create_directories(root / "home" / "share");
            fs::create_directories(root / "home" / "elsewhere");
            fs::create_directory_symlink(root / "home" / "elsewhere",
                                         root / "home" / "share" / "Trash");
        }
        if (setup == "file link")
            fs::create_symlink(root / "home" / "pictures" / "a.jpg", path);
        else
            writeFile(path, "picture bytes");
        writeFile(root / "home" / "pictures" / "a.jpg", "picture bytes");

        std::string reason;
        const bool moved = MoveToTrash(path, reason);
        QVERIFY2(moved == !trash.isEmpty(), reason.c_str());
        if (moved) {
            const fs::path trashFolder = root / place(trash);
            QVERIFY(!isThere(path));
            QCOMPARE(fs::is_symlink(trashFolder / "files" / "a.jpg"), setup == "file link");
            QCOMPARE(readFile(trashFolder / "files" / "a.jpg"), std::string("picture bytes"));
            QCOMPARE(trashedPath(readFile(trashFolder / "info" / "a.jpg.trashinfo")),
                     place(pathOrReason));
        } else {
            QCOMPARE(readFile(path), std::string("picture bytes"));
            QVERIFY2(reason.find(place(pathOrReason)) != std::string::npos, reason.c_str());
        }
        if (mounted) {
            QVERIFY(fs::is_empty(trap));
            if (setup.endsWith("foreign"))
                QVERIFY(fs::is_empty(
                    usb / (setup.startsWith("own") ? ".Trash-" + uid : ".Trash/" + uid)));
        }
    }

    // While the owner trashes files on a shared file system, another user swaps its trash
    // folders for links and folders of their own. Nothing may land outside the owner's own
    // folders (the private folders the links lead to stay empty) and no file is lost: each
    // is where it was, or in a trash folder only the owner can write, beside its info file.
    void otherUserCannotRedirectTheTrash()
    {
        if (!mounted)
            QSKIP(("another file system is needed, but " + noMount).c_str());
        if (getuid() != 0)
            QSKIP("a second user needs the superuser to start it");
        const fs::path usb = root / "usb";
        const std::vector<fs::path> victims {usb / "private", root / "home" / "private"};
        makeFolder(root / "home", 0755, ownerUid);
        makeFolder(root / "home" / "private", 0700, ownerUid);
        // One private folder looks like a trash inside, as a link there would need.
        for (const char* name : {"", "info", "files"})
            makeFolder(usb / "private" / name, 0700, ownerUid);
        makeFolder(usb / "pictures", 0755, ownerUid);
        constexpr int files = 5000;
        for (int i = 0; i < files; ++i) {
            const fs::path picture = usb / "pictures" / pictureName(i);
            writeFile(picture, "picture " + std::to_string(i));
            QVERIFY(chown(picture.c_str(), ownerUid, ownerUid) == 0);
        }

        int ready[2];
        QVERIFY(pipe(ready) == 0);
        ChildProcess other(fork());
        if (other.pid == 0)
            runOtherUser(usb, std::to_string(ownerUid), victims, ready[1]);
        close(ready[1]);
        char byte = 0;
        QVERIFY(read(ready[0], &byte, 1) == 1);
        close(ready[0]);
        int results[2];
        QVERIFY(pipe(results) == 0);
        ChildProcess owner(fork());
        if (owner.pid == 0) {
            becomeUser(ownerUid);
            for (int i = 0; i < files; ++i) {
                std::string reason;
                const char moved
                    = MoveToTrash(usb / "pictures" / pictureName(i), reason) ? '1' : '0';
                if (write(results[1], &moved, 1) != 1)
                    _exit(98);
            }
            _exit(0);
        }
        close(results[1]);
        std::string outcome;
        while (read(results[0], &byte, 1) == 1)
            outcome += byte;
        close(results[0]);
        const int ownerStatus = owner.Wait();
        other.Stop();
        QVERIFY(WIFEXITED(ownerStatus) && WEXITSTATUS(ownerStatus) == 0);
        QCOMPARE(int(outcome.size()), files);

        QVERIFY(fs::is_empty(root / "home" / "private"));
        QVERIFY(fs::is_empty(usb / "private" / "info") && fs::is_empty(usb / "private" / "files"));
        QCOMPARE(std::distance(fs::directory_iterator(usb / "private"), {}), 2);
        // Every entry of the owner's that is not a folder: a picture or an info file.
        std::map<std::string, std::vector<fs::path>> found;
        int ownerEntries = 0;
        for (const fs::path& top : {usb, root / "home"}) {
            for (const auto& entry : fs::recursive_directory_iterator(top)) {
                const struct stat status = statusOf(entry.path());
                if (status.st_uid == ownerUid && !S_ISDIR(status.st_mode)) {
                    ++ownerEntries;
                    found[entry.path().filename().string()].push_back(entry.path());
                }
            }
        }
        int moved = 0;
        for (int i = 0; i < files; ++i) {
            const std::string name = pictureName(i);
            const std::vector<fs::path>& places = found[name];
            QVERIFY2(places.size() == 1,
                     (name + " is in " + std::to_string(places.size()) + " places").c_str());
            QCOMPARE(readFile(places.front()), "picture " + std::to_string(i));
            if (outcome[i] == '0') {
                QCOMPARE(places.front(), usb / "pictures" / name);
                QVERIFY(found[name + ".trashinfo"].empty());
                continue;
            }
            ++moved;
            const fs::path trashFolder = places.front().parent_path().parent_path();
            const struct stat status = statusOf(trashFolder);
            QVERIFY2(status.st_uid == ownerUid && (status.st_mode & 022) == 0, trashFolder.c_str());
            QCOMPARE(statusOf(trashFolder / "files").st_uid, ownerUid);
            QCOMPARE(statusOf(trashFolder / "info").st_uid, ownerUid);
            QCOMPARE(found[name + ".trashinfo"].size(), size_t(1));
            QCOMPARE(trashedPath(readFile(trashFolder / "info" / (name + ".trashinfo"))),
                     "pictures/" + name);
        }
        QCOMPARE(ownerEntries, files + moved);
        qInfo("%d of %d files trashed while the other user swapped folders", moved, files);
    }

    // The home trash with each of its file calls failing in turn, by every error a disk or a
    // folder gives: the picture is in exactly one place, in the trash only beside a whole info
    // file, and a picture left in place comes with the reason.
    void everyFailureLeavesThePictureInOnePlace()
    {
        const fs::path picture = root / "home" / "pictures" / "a.jpg";
        const fs::path trash = root / "home" / "share" / "Trash";
        const auto entries = [](const fs::path& within) {
            std::vector<fs::path> found;
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(within, ec))
                found.push_back(entry.path());
            return found;
        };
        writeFile(picture, "picture");
        std::string reason;
        fault_injection::Start(0, 0);
        QVERIFY(MoveToTrash(picture, reason));
        const int steps = fault_injection::Stop();
        int tried = 0;
        for (const int error : {ENOSPC, EIO, EFBIG, EACCES}) {
            for (int step = 1; step <= steps; ++step) {
                fs::remove_all(trash);
                writeFile(picture, "picture");
                reason.clear();
                fault_injection::Start(step, error);
                const bool moved = MoveToTrash(picture, reason);
                fault_injection::Stop();
                ++tried;
                const std::string at = std::string(fault_injection::FailedCall()) + " failing ("
                    + strerror(error) + "), step " + std::to_string(step);
                const std::vector<fs::path> files = entries(trash / "files");
                const std::vector<fs::path> infos = entries(trash / "info");
                QVERIFY2(moved != fs::exists(picture), at.c_str());
                if (moved) {
                    QVERIFY2(files.size() == 1 && readFile(files.front()) == "picture", at.c_str());
                    QVERIFY2(infos.size() == 1
                                 && trashedPath(readFile(infos.front())) == picture.string()
                                 && readFile(infos.front()).find("\nDeletionDate=")
                                     != std::string::npos,
                             at.c_str());
                } else {
                    QVERIFY2(files.empty() && infos.empty(), at.c_str());
                    QVERIFY2(!reason.empty(), at.c_str());
                    QCOMPARE(readFile(picture), std::string("picture"));
                }
            }
        }
        qInfo("the home trash was tried with %d injected failures (%d steps)", tried, steps);
    }

private:
    QTemporaryDir folder;
    fs::path root;
    std::string uid;
    std::string noMount;
    bool mounted = false;
};

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
