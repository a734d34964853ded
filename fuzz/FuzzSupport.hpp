// What the harnesses share: the stand-in host the add-on's code reports to, a
// scratch folder per process, and a loopback proxy that answers every request, so
// that no transfer a harness starts ever leaves the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tarvel::fuzz {

// Starts the stand-in host once per process; its Session Report is emptied after every input.
void StartHost();
void ClearReport();

// Starts the stand-in host with its special location in the scratch folder and makes
// the add-on's data folders there; gives the data root (where Settings.xml lies).
const std::string& StartHostWithDataRoot();

// A folder of this process under the temporary folder, made on first use.
const std::string& ScratchFolder();
// Writes the bytes to a file in the scratch folder and gives its path.
std::string WriteScratchFile(const std::string& name, std::string_view bytes);
// The whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Points the user's proxy at an in-process server that answers every request with
// an empty 200, and keeps curl from going round it.
void KeepTransfersInProcess();
// What that server answers from now on: the body for a request's target (the whole
// address, as a proxy gets it). An empty body unless set.
void SetTransferAnswer(std::function<std::string(const std::string& target)> answer);

}  // namespace tarvel::fuzz
