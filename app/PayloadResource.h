#pragma once
// The program archive SETUP.EXE carries as its RCDATA resource "PGM". Windows only.

#include <cstdint>
#include <span>
#include <string>

// The resource's bytes, mapped with the program's image. Throws EResNotFound.
std::span<const std::uint8_t> PayloadResourceBytes();

// Writes the resource to `folder` + "\" + `fileName`, creating or replacing it. Throws
// EResNotFound, EFCreateError or EStreamError.
void SavePayloadResource(const std::string& folder, const std::string& fileName);
