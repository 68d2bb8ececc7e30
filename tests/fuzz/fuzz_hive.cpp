// The hive store reads any bytes without crashing, and what it writes back
// reads as the same tree, in the same encoding, and is written the same again.
#include "platform/TExceptions.h"
#include "platform/TRegistryHive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QByteArray Saved; // what the first save wrote, shown with a failure

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "hive round trip: %s\nsaved as: %s\n", what,
                 Saved.left(2000).toPercentEncoding(" \\[]\"=:,@").constData());
    std::abort();
}

// The same value for whoever reads it: a string written as hex data (it holds
// a line break or a NUL) reads back as raw bytes, with the same text.
bool Same(const TRegValue& a, const TRegValue& b) {
    if (a.Name != b.Name || a.Type != b.Type || a.IsText() != b.IsText())
        return false;
    if (!a.IsText())
        return a.Data == b.Data;
    return a.Text == b.Text && (!a.RawText || !b.RawText || a.Data == b.Data);
}

void Compare(const TRegKey& a, const TRegKey& b) {
    std::vector<std::pair<const TRegKey*, const TRegKey*>> stack{{&a, &b}};
    while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        if (x->Name != y->Name)
            Fail("a key name changed");
        if (!std::equal(x->Values.begin(), x->Values.end(), y->Values.begin(), y->Values.end(),
                        Same))
            Fail("the values of a key changed");
        if (x->SubKeys.size() != y->SubKeys.size())
            Fail("the subkeys of a key changed");
        for (size_t i = 0; i < x->SubKeys.size(); ++i)
            stack.emplace_back(x->SubKeys[i].get(), y->SubKeys[i].get());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString root = QStringLiteral("HKEY_LOCAL_MACHINE");
    TRegistryHive first(root);
    try {
        first = TRegistryHive::Parse(bytes, root);
    } catch (const ERegistryException&) {
        return 0; // refused with its line: fine
    }
    const QByteArray saved = first.Serialize();
    Saved = saved;
    TRegistryHive second(root);
    try {
        second = TRegistryHive::Parse(saved, root);
    } catch (const ERegistryException&) {
        Fail("a saved hive does not read back");
    }
    // Plain ASCII is both UTF-8 and Windows-1252: either reading is the same.
    const bool ascii = std::all_of(saved.begin(), saved.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const bool either = ascii && first.Encoding == TRegistryHive::TEncoding::Utf8 &&
                        second.Encoding == TRegistryHive::TEncoding::Ansi;
    if ((second.Encoding != first.Encoding && !either) || second.Unicode != first.Unicode)
        Fail("the encoding changed");
    Compare(*first.Root, *second.Root);
    if (second.Serialize() != saved)
        Fail("a second save writes different bytes");
    return 0;
}
