// Copies and moves random trees while a failure strikes at a random item, then checks that every byte
// of every source file still exists, whole, in the source or in the target.
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <map>
#include <random>

#include "fs/faultyfsops.h"
#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "platform/fs/operations/transferjob.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::writeFile;

enum class Fault {
    OpenRead,
    ReadMidFile,
    CreateRefused,
    NoSpaceMidFile,
    CancelMidFile,
    SkipOnClash,
    ReplaceOnClash,
    FlushFails,
    PlaceFails
};
constexpr int kFaultKinds = 9;

struct Tree {
    std::map<std::string, std::string> files;  // relative path -> content
    std::vector<std::string> dirs;
};

void makeRandomTree(std::mt19937& rng, const std::string& root, const std::string& rel, int depth,
                    Tree& tree) {
    mkdir((root + "/" + rel).c_str(), 0755);
    tree.dirs.push_back(rel);
    const int n = 2 + static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) {
        std::string name = "f" + std::to_string(i);
        if (rng() % 7 == 0) {
            name += "\xE9\xFF";  // not UTF-8
        }
        if (depth < 2 && rng() % 4 == 0) {
            makeRandomTree(rng, root, rel + "/d" + std::to_string(i), depth + 1, tree);
            continue;
        }
        const size_t size = rng() % 3 == 0 ? 100000 + rng() % 300000 : rng() % 5000;
        std::string data(size, '\0');
        for (char& c : data) {
            c = static_cast<char>(rng());
        }
        writeFile(root + "/" + rel + "/" + name, data);
        tree.files[rel + "/" + name] = data;
    }
}

int countTemps(const std::string& root) {
    static std::atomic<int> found;
    found = 0;
    nftw(
        root.c_str(),
        [](const char* p, const struct stat*, int, FTW* f) {
            if (std::string(p + f->base).rfind(".kv-", 0) == 0) {
                ++found;
            }
            return 0;
        },
        32, FTW_PHYS);
    return found;
}

TEST(FaultSuite, NoSourceByteIsEverLost) {
    TempDir probe("/dev/shm");
    const bool haveSecondFs = test::deviceOf("/tmp") != test::deviceOf(probe.path());
    int runs = 0, lost = 0, overwritten = 0, partial = 0, temps = 0, struck = 0;
    // KV_FAULT_ROUND picks other trees and other moments to strike, for longer runs by hand.
    const char* round = std::getenv("KV_FAULT_ROUND");
    const unsigned salt = round ? static_cast<unsigned>(std::strtoul(round, nullptr, 10)) * 1000003u : 0u;
    for (int run = 0; run < 216; ++run) {
        std::mt19937 rng(static_cast<unsigned>(run) * 7919u + 17u + salt);
        const auto mode = run % 2 ? TransferMode::Move : TransferMode::Copy;
        const bool crossFs = haveSecondFs && (run / 2) % 2;
        const auto fault = static_cast<Fault>((run / 4) % kFaultKinds);
        TempDir src;
        TempDir dst(crossFs ? "/dev/shm" : "/tmp");
        Tree tree;
        makeRandomTree(rng, src.path(), "root", 0, tree);
        std::vector<std::string> fileList;
        for (const auto& [rel, data] : tree.files) {
            fileList.push_back(rel);
        }

        // Clash faults: some files already exist in the target with other content.
        std::map<std::string, std::string> existing;
        if (fault == Fault::SkipOnClash || fault == Fault::ReplaceOnClash || !crossFs) {
            for (const std::string& d : tree.dirs) {
                mkdir((dst.path() + "/" + d).c_str(), 0755);
            }
            for (const std::string& rel : fileList) {
                if (rng() % 3 == 0) {
                    existing[rel] = "old content of " + rel;
                    writeFile(dst.path() + "/" + rel, existing[rel]);
                }
            }
        }

        const int failAt = 1 + static_cast<int>(rng() % std::max<size_t>(fileList.size(), 1));
        const bool transient = rng() % 2;
        auto ops = std::make_shared<test::FaultyFsOps>();
        std::atomic<int> item{0}, places{0}, fired{0};
        FileJob* jobPtr = nullptr;
        ops->hook = [&](const std::string& op, const std::string& path) -> int {
            // One file's calls come from one thread, files run on several: which file a call belongs
            // to, and how far into it, is the calling thread's.
            thread_local int myItem = 0, chunk = 0;
            if (op == "openRead") {
                myItem = ++item;
                chunk = 0;
            }
            if (op == "copyRange" || op == "read") {
                ++chunk;
            }
            const bool atItem = myItem == failAt && (!transient || fired == 0);
            int r = 0;
            switch (fault) {
                case Fault::OpenRead:
                    r = atItem && op == "openRead" ? -EACCES : 0;
                    break;
                case Fault::ReadMidFile:
                    r = atItem && (op == "copyRange" || op == "read") && chunk == 2 ? -EIO : 0;
                    break;
                case Fault::CreateRefused:
                    r = atItem && op == "create" ? -EROFS : 0;
                    break;
                case Fault::NoSpaceMidFile:
                    r = atItem && op == "write" && chunk >= 2 ? -ENOSPC : 0;
                    break;
                case Fault::CancelMidFile:
                    if (myItem == failAt && (op == "copyRange" || op == "read") && chunk == 2) {
                        jobPtr->cancel();
                    }
                    break;
                case Fault::FlushFails:
                    r = (op == "fsyncPath" || op == "fsync") && item >= failAt ? -EIO : 0;
                    break;
                case Fault::PlaceFails:
                    // Placing a file: its rename or link, or the close of one made under its name.
                    r = (op == "rename" || op == "link" ||
                         (op == "close" && path.rfind(dst.path(), 0) == 0)) &&
                                ++places == 1 + failAt % 4 && (!transient || fired == 0)
                            ? -EIO
                            : 0;
                    break;
                default:
                    break;
            }
            (void)path;
            if (r != 0) {
                ++fired;
            }
            return r;
        };
        auto resolver = std::make_shared<test::ScriptedResolver>();
        resolver->async = run % 3 == 0;
        const int answer = static_cast<int>(rng() % 3);
        // Retry once, then skip: a user retrying a lasting failure forever would never finish.
        std::atomic<int> retries{0};
        resolver->onError = [&](const ErrorRequest&) {
            if (answer == 1 && retries++ == 0) {
                return ErrorDecision{ErrorChoice::Retry, false};
            }
            return ErrorDecision{answer == 2 ? ErrorChoice::Cancel : ErrorChoice::Skip, false};
        };
        const ClashChoice clashAnswer =
            fault == Fault::ReplaceOnClash ? ClashChoice::Replace : ClashChoice::Skip;
        resolver->onClash = [&](const ClashRequest& r) {
            return ClashDecision{r.merge() ? ClashChoice::Replace : clashAnswer, false};
        };

        TransferJob job(mode, {src.path() + "/root"}, dst.path());
        jobPtr = &job;
        job.setOps(ops);
        job.setResolver(resolver);
        job.start();
        job.wait();

        for (const auto& [rel, data] : tree.files) {
            const std::string s = src.path() + "/" + rel;
            const std::string t = dst.path() + "/" + rel;
            const bool inSource = exists(s) && readFile(s) == data;
            const bool inTarget = exists(t) && readFile(t) == data;
            if (!inSource && !inTarget) {
                ++lost;
                ADD_FAILURE() << "run " << run << ": lost " << rel;
            }
            if (mode == TransferMode::Copy && !inSource) {
                ++lost;
                ADD_FAILURE() << "run " << run << ": copy changed its source " << rel;
            }
            // Whatever has a file's name in the target is whole: the copy, or what was there before.
            if (exists(t) && readFile(t) != data && !(existing.count(rel) && readFile(t) == existing[rel])) {
                ++partial;
                ADD_FAILURE() << "run " << run << ": part of " << rel << " under its name";
            }
            // Without a Replace answer an existing file keeps its content.
            if (existing.count(rel) && clashAnswer != ClashChoice::Replace && readFile(t) != existing[rel]) {
                ++overwritten;
                ADD_FAILURE() << "run " << run << ": overwrote " << rel;
            }
        }
        const JobResult result = job.result();
        struck += fired > 0 || result.cancelled || !resolver->clashes.empty();
        temps += countTemps(dst.path());
        ++runs;
    }
    EXPECT_EQ(temps, 0) << "temporary files left behind";
    EXPECT_EQ(partial, 0);
    // The suite proves nothing if the faults miss: most runs must have met theirs.
    EXPECT_GT(struck, runs * 3 / 4);
    std::printf(
        "[ fault suite ] %d files lost, %d overwritten without an answer, %d partly under their name, in "
        "%d runs (%d struck)%s\n",
        lost, overwritten, partial, runs, struck,
        haveSecondFs ? "" : " (no second filesystem: same-fs only)");
}

}  // namespace
}  // namespace kv
