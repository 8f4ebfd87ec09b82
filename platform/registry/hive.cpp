#include "platform/registry/hive.h"

#include "platform/registry/hivetext.h"

namespace kv {

bool Hive::sameName(std::string_view a, std::string_view b) {
    return hivetext::sameName(a, b);
}

bool Hive::canHoldName(std::string_view name) {
    return hivetext::canHoldName(name);
}

std::optional<Hive> Hive::parse(std::string_view text) {
    Hive hive;
    // The key of the current section; no key is added while its values are read, so it stays put.
    Key* section = nullptr;
    const bool read = hivetext::read(
        text, kMaxDepth,
        [&](const std::vector<std::string>& path) {
            bool added = false;
            section = hive.obtainKey(path, &added);
            return section != nullptr;
        },
        [&](std::string_view name, std::uint32_t type, std::string data) {
            setValueOf(*section, name, type, std::move(data));
        });
    if (!read) {
        return std::nullopt;
    }
    return hive;
}

std::string Hive::format() const {
    std::string out;
    hivetext::appendHeader(out);
    // Depth first without recursion, growing and shrinking one path: copying the path per key would
    // make a deep hive quadratic.
    struct Frame {
        const Key* key;
        std::size_t pathSize;
        std::size_t next;
    };
    std::vector<Frame> stack;
    std::string path;
    for (const Key& root : m_top.subkeys) {
        path = root.name;
        formatSection(root, path, true, out);
        stack.push_back({&root, path.size(), 0});
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.next == top.key->subkeys.size()) {
                stack.pop_back();
                continue;
            }
            const Key& sub = top.key->subkeys[top.next++];
            path.resize(top.pathSize);
            path += '\\';
            path += sub.name;
            formatSection(sub, path, false, out);
            stack.push_back({&sub, path.size(), 0});
        }
    }
    return out;
}

void Hive::formatSection(const Key& key, const std::string& path, bool isRoot, std::string& out) {
    // A key is listed when it holds values or nothing at all; the keys above it exist by its path, as
    // the registry's import creates them. A root with no values is left out: it always exists.
    if (key.values.empty() && (isRoot || !key.subkeys.empty())) {
        return;
    }
    hivetext::appendSection(out, path);
    for (const Value& v : key.values) {
        hivetext::appendValue(out, v.name, v.type, v.data);
    }
}

const Hive::Key* Hive::findSubkey(const Key& key, std::string_view name) {
    const std::size_t at =
        key.subkeyIndex.find(name, [&](std::size_t i) -> const std::string& { return key.subkeys[i].name; });
    return at == NameIndex::npos ? nullptr : &key.subkeys[at];
}

const Hive::Key* Hive::findKey(const std::vector<std::string>& path) const {
    if (path.empty() || path.size() > kMaxDepth) {
        return nullptr;
    }
    const Key* key = &m_top;
    for (const std::string& part : path) {
        key = findSubkey(*key, part);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

Hive::Key* Hive::findKey(const std::vector<std::string>& path) {
    return const_cast<Key*>(static_cast<const Hive*>(this)->findKey(path));
}

Hive::Key* Hive::obtainKey(const std::vector<std::string>& path, bool* added) {
    if (path.empty() || path.size() > kMaxDepth) {
        return nullptr;
    }
    Key* key = &m_top;
    for (const std::string& part : path) {
        const auto [at, isNew] = key->subkeyIndex.findOrAdd(
            part, key->subkeys.size(),
            [&](std::size_t i) -> const std::string& { return key->subkeys[i].name; });
        if (isNew) {
            key->subkeys.push_back(Key{part, {}, {}, {}, {}});
            *added = true;
        }
        key = &key->subkeys[at];
    }
    return key;
}

bool Hive::hasKey(const std::vector<std::string>& path) const {
    return findKey(path) != nullptr;
}

bool Hive::createKey(const std::vector<std::string>& path) {
    bool added = false;
    obtainKey(path, &added);
    return added;
}

const Hive::Value* Hive::findValue(const std::vector<std::string>& path, std::string_view name) const {
    const Key* key = findKey(path);
    if (key == nullptr) {
        return nullptr;
    }
    const std::size_t at =
        key->valueIndex.find(name, [&](std::size_t i) -> const std::string& { return key->values[i].name; });
    return at == NameIndex::npos ? nullptr : &key->values[at];
}

bool Hive::setValue(const std::vector<std::string>& path, std::string_view name, std::uint32_t type,
                    std::string data) {
    Key* key = findKey(path);
    if (key == nullptr) {
        return false;
    }
    setValueOf(*key, name, type, std::move(data));
    return true;
}

void Hive::setValueOf(Key& key, std::string_view name, std::uint32_t type, std::string data) {
    const auto [at, isNew] = key.valueIndex.findOrAdd(
        name, key.values.size(), [&](std::size_t i) -> const std::string& { return key.values[i].name; });
    if (isNew) {
        key.values.push_back(Value{std::string(name), type, std::move(data)});
    } else {
        // The name that created the value stays; only type and data change.
        Value& v = key.values[at];
        v.type = type;
        v.data = std::move(data);
    }
}

}  // namespace kv
