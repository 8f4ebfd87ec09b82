#include "remote/jobhelpers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <sys/stat.h>
#include <sys/time.h>

#include <atomic>
#include <filesystem>
#include <random>

#include "fs/tempdir.h"
#include "platform/fs/remote/remotelistingsource.h"

namespace kv::test {

namespace fs = std::filesystem;

void Script::resolveClash(const ClashRequest& request, ClashReply reply) {
    std::lock_guard lock(mutex);
    askedClashes.push_back(request);
    ClashChoice choice = ClashChoice::Skip;
    if (!clashes.empty()) {
        choice = clashes.front();
        clashes.pop_front();
    }
    reply({choice, false});
}

void Script::resolveError(const ErrorRequest& request, ErrorReply reply) {
    std::lock_guard lock(mutex);
    askedErrors.push_back(request);
    reply({ErrorChoice::Skip, false});
}

JobResult finish(FileJob& job, std::shared_ptr<Script> script) {
    job.setResolver(script);
    job.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return job.isFinished(); }, kJobWait));
    return job.result();
}

std::string describe(const JobResult& result) {
    std::string text;
    for (const JobReport& r : result.reports)
        text += r.path + ": " + std::to_string(r.error) + " " + r.other + "\n";
    return text;
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(n, '\0');
    for (char& c : data) c = static_cast<char>(random());
    return data;
}

std::map<std::string, std::string> contents(const std::string& root) {
    std::map<std::string, std::string> all;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        all[rel] = e.is_directory() ? "/" : readFile(e.path().string());
    }
    return all;
}

std::int64_t mtimeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mtim.tv_sec;
}

void makeTree(const std::string& root) {
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "/sub").c_str(), 0755);
    ::mkdir((root + "/sub/deeper").c_str(), 0755);
    ::mkdir((root + "/sub/empty folder").c_str(), 0755);
    writeFile(root + "/big.bin", randomBytes(3 << 20, 1));
    writeFile(root + "/réunion à deux.txt", "ça va\n");
    writeFile(root + "/empty", "");
    writeFile(root + "/sub/deeper/note", randomBytes(70000, 2));
    const timeval old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimes((root + "/big.bin").c_str(), old);
}

int mountAt(const std::string& address, std::optional<std::string> password) {
    RemoteListingSource source(address, [password](const MountQuestion& q, MountReply reply) {
        MountAnswer a;
        a.cancelled = !password;
        a.user = q.user;
        a.password = password.value_or("");
        QMetaObject::invokeMethod(
            qApp, [reply, a] { reply(a); }, Qt::QueuedConnection);
    });
    std::atomic<bool> done = false;
    std::atomic<int> error = -1;
    source.start([](std::vector<DirEntry>&&) {},
                 [&](int e, const std::string&) {
                     error = e;
                     done = true;
                 });
    if (!QTest::qWaitFor([&] { return done.load(); }, kJobWait)) return ETIMEDOUT;
    return error;
}

}  // namespace kv::test
