// The store's step order over a recording registry; what the steps give against real backends is
// the contract suite's part.
#include "settings/regmodule.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/registryapi.h"

namespace kv {
namespace {

class RecordingRegistry : public RegistryApi {
  public:
    long openKey(RegHandle parent, const std::string& subKey, RegHandle* result) override {
        calls.push_back("open " + std::to_string(parent) + " " + subKey);
        *result = openSucceeds ? 42 : 0;
        return openSucceeds ? kRegSuccess : kRegFileNotFound;
    }
    long createKey(RegHandle parent, const std::string& subKey, RegHandle* result) override {
        calls.push_back("create " + std::to_string(parent) + " " + subKey);
        *result = 43;
        return kRegSuccess;
    }
    long queryValue(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override {
        calls.push_back("query " + std::to_string(key) + " " + name +
                        (data ? " buffer " + std::to_string(*size) : ""));
        if (key == 0) {
            return kRegInvalidHandle;
        }
        *type = storedType;
        // The second answer may differ from the first, as when another program rewrites the value.
        const std::string& bytes = (data != nullptr && !secondAnswer.empty()) ? secondAnswer : stored;
        if (data != nullptr) {
            if (*size < bytes.size()) {
                *size = static_cast<std::uint32_t>(bytes.size());
                return kRegMoreData;
            }
            std::memcpy(data, bytes.data(), bytes.size());
        }
        *size = static_cast<std::uint32_t>(bytes.size());
        return kRegSuccess;
    }
    long setValue(RegHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override {
        calls.push_back("set " + std::to_string(key) + " " + name + " type " + std::to_string(type) + " " +
                        std::string(reinterpret_cast<const char*>(data), size) + " size " +
                        std::to_string(size));
        return kRegSuccess;
    }
    long closeKey(RegHandle key) override {
        calls.push_back("close " + std::to_string(key));
        return key == 0 ? kRegInvalidHandle : kRegSuccess;
    }

    bool openSucceeds = true;
    std::uint32_t storedType = kRegSz;
    std::string stored;
    std::string secondAnswer;
    std::vector<std::string> calls;
};

const std::string kRoot = std::to_string(kHkeyCurrentUser);

TEST(RegModule, ReadOpensQueriesSizeThenDataIntoABufferOfThatSizeAndCloses) {
    RecordingRegistry api;
    api.stored = std::string("abc\0def", 7);
    EXPECT_EQ(RegModule(api).ReadRegString(kHkeyCurrentUser, "Software\\K", "StartPage"), "abc");
    EXPECT_EQ(api.calls, (std::vector<std::string>{"open " + kRoot + " Software\\K", "query 42 StartPage",
                                                   "query 42 StartPage buffer 7", "close 42"}));
}

TEST(RegModule, ReadOfAnotherTypeStopsAfterTheFirstQueryButStillCloses) {
    RecordingRegistry api;
    api.storedType = kRegExpandSz;
    api.stored = "x";
    EXPECT_EQ(RegModule(api).ReadRegString(kHkeyCurrentUser, "K", "V"), "");
    EXPECT_EQ(api.calls, (std::vector<std::string>{"open " + kRoot + " K", "query 42 V", "close 42"}));
}

TEST(RegModule, AFailedOpenIsNotCheckedAndReadsEmpty) {
    RecordingRegistry api;
    api.openSucceeds = false;
    api.stored = "x";
    EXPECT_EQ(RegModule(api).ReadRegString(kHkeyCurrentUser, "K", "V"), "");
    EXPECT_EQ(api.calls, (std::vector<std::string>{"open " + kRoot + " K", "query 0 V", "close 0"}));
    EXPECT_FALSE(RegModule(api).KeyExists(kHkeyCurrentUser, "K"));
}

TEST(RegModule, AValueThatShrinksBetweenTheQueriesReadsWithoutBlanks) {
    RecordingRegistry api;
    api.stored = "https://long.example/";
    api.secondAnswer = "short";
    EXPECT_EQ(RegModule(api).ReadRegString(kHkeyCurrentUser, "K", "V"), "short");
    api.secondAnswer = std::string(40, 'x');  // grew: the second query fails, so nothing is read
    EXPECT_EQ(RegModule(api).ReadRegString(kHkeyCurrentUser, "K", "V"), "");
}

TEST(RegModule, WriteCreatesSetsTheBytesWithoutTerminatorAndCloses) {
    RecordingRegistry api;
    RegModule(api).WriteRegString(kHkeyCurrentUser, "Software\\K\\Eula", "Eula", "Agree");
    EXPECT_EQ(api.calls, (std::vector<std::string>{"create " + kRoot + " Software\\K\\Eula",
                                                   "set 43 Eula type 1 Agree size 5", "close 43"}));
}

}  // namespace
}  // namespace kv
