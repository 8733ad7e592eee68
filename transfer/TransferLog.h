#pragma once
// Log lines name the module a piece of the transfer belongs to, whichever file holds its code.

inline constexpr const char* kTransferLog = "Transfer.cpp";
inline constexpr const char* kTransferManagerLog = "TransferManager.cpp";
