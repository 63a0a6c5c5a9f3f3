#pragma once
// Result codes of Unlha, those of the archiver-DLL family: 0 is success, errors start at 0x8000.

namespace unlha32 {

constexpr int kSuccess = 0;
constexpr int kErrorDiskSpace = 0x8005;
constexpr int kErrorUserSkip = 0x8007;
constexpr int kErrorMethod = 0x8009;
constexpr int kErrorFileCrc = 0x800C;
constexpr int kErrorFileOpen = 0x800D;
constexpr int kErrorNotExist = 0x800F;
constexpr int kErrorMakeDirectory = 0x8012;
constexpr int kErrorCannotWrite = 0x8013;
constexpr int kErrorHuffmanCode = 0x8014;
constexpr int kErrorHeaderCrc = 0x8016;
constexpr int kErrorHeaderBroken = 0x8017;
constexpr int kErrorArcFileOpen = 0x8018;
constexpr int kErrorNotArcFile = 0x8019;
constexpr int kErrorCannotRead = 0x801A;
constexpr int kErrorCommandName = 0x801C;
constexpr int kErrorEnoughMemory = 0x801E;
constexpr int kErrorAlreadyRunning = 0x801F;

// A member whose stored name would leave the base folder, or names a drive or a device, is not
// written; it is reported as a file that cannot be written there.
constexpr int kErrorUnsafeName = kErrorCannotWrite;

}  // namespace unlha32
