#include "e2e/process_resources_win32.h"

#include <psapi.h>
#include <winternl.h>

#include <utility>
#include <vector>

namespace quorvanel::testing {
namespace {

using QuerySystemInformation = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

// One entry of the system handle list; the owner's process id is in the low 16 bits.
struct HandleEntry {
    ULONG owner;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};

template <typename Function>
Function NtFunction(const char* name) {
    // Through void (*)(), the generic function pointer type, to the function's real type.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

long long HandlesFromSystemList(DWORD processId) {
    const auto query = NtFunction<QuerySystemInformation>("NtQuerySystemInformation");
    if (query == nullptr) return -1;
    std::vector<char> buffer(1 << 20);
    NTSTATUS status;
    ULONG length = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), &length)) == kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return -1;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    long long mine = 0;
    for (ULONG i = 0; i < count; ++i) mine += (entries[i].owner & 0xFFFF) == (processId & 0xFFFF);
    return mine;
}

// Counts the used entries of the process's GDI handle table (PEB GdiSharedHandleTable): 65,536
// entries of 24 bytes whose byte 14 is the object type, 0 when free.
long long GdiObjectsFromTable(HANDLE process) {
    const auto query = NtFunction<QueryInformationProcess>("NtQueryInformationProcess");
    if (query == nullptr) return -1;
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, 0, &basic, sizeof(basic), nullptr) != 0 || basic.PebBaseAddress == nullptr)
        return -1;
    void* table = nullptr;
    SIZE_T got = 0;
    const auto* tableField = reinterpret_cast<const char*>(basic.PebBaseAddress) + 0xF8;
    if (!ReadProcessMemory(process, tableField, &table, sizeof(table), &got) || table == nullptr)
        return -1;
    constexpr std::size_t kEntry = 24;
    constexpr std::size_t kEntries = 65536;
    std::vector<unsigned char> entries(kEntry * kEntries);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size(), &got)) return -1;
    long long used = 0;
    for (std::size_t i = 0; i < got / kEntry; ++i) used += entries[i * kEntry + 14] != 0;
    return used;
}

}  // namespace

ProcessResources SampleProcess(HANDLE process, DWORD processId) {
    ProcessResources resources;
    resources.fill(-1);
    resources[kGdiObjects] = GdiObjectsFromTable(process);
    // Every window of the desktop (the top-level ones and, recursively, their children) that
    // belongs to the process.
    std::pair<DWORD, long long> tally{processId, 0};
    EnumChildWindows(GetDesktopWindow(), [](HWND window, LPARAM data) -> BOOL {
        auto* tally = reinterpret_cast<std::pair<DWORD, long long>*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        tally->second += owner == tally->first;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&tally));
    resources[kUserObjects] = tally.second;
    resources[kHandles] = HandlesFromSystemList(processId);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory))) {
        // Private bytes; Wine leaves PrivateUsage at 0 but fills the commit charge it equals.
        resources[kPrivateBytes] = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    }
    return resources;
}

}  // namespace quorvanel::testing
