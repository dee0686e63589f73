// update-pack's command line.
#include "tools/update_pack_options.h"

#include <utility>

#include "release/release_record.h"

const char kPackSynopsis[] =
    "usage: update-pack make --product ID --version V [--from OLD_DIR [--from-version V]]\n"
    "                        [--sign PRIVATE] -o ARCHIVE NEW_DIR\n"
    "       update-pack show ARCHIVE [--key PUBLIC]\n"
    "       update-pack --help | --version\n";

const char kPackDetails[] =
    "make   packs the release in NEW_DIR into ARCHIVE (which must not exist), its release record\n"
    "       .update-release first, and writes that record beside it, named as ARCHIVE with\n"
    "       .release for .zip (-o releases/2.1.zip: releases/2.1.release). With --from, only\n"
    "       the files that are new or changed since the release in OLD_DIR, and the removal of\n"
    "       the files NEW_DIR no longer has; that release's version comes from OLD_DIR's\n"
    "       .update-release, from OLD_DIR.release beside it, or from --from-version.\n"
    "       --sign writes ARCHIVE.sig with the private key (update-sign keygen makes one).\n"
    "show   prints ARCHIVE's release record, its entries and sizes, and with --key whether\n"
    "       ARCHIVE.sig verifies under the public key.\n"
    "\n"
    "A product ID is ASCII letters, digits, '.', '-' and '_'; a version is decimal numbers\n"
    "separated by dots, compared number by number (2.10 is newer than 2.9).\n"
    "Exit status: 0 done, 1 refused or failed (the reason on stderr), 2 usage error.\n";

namespace {

struct TOption {
  const char* name;
  std::string TPackOptions::*field;
};

constexpr TOption kMakeOptions[] = {
    {"--product", &TPackOptions::Product}, {"--version", &TPackOptions::Version},
    {"--from", &TPackOptions::OldDir},     {"--from-version", &TPackOptions::FromVersion},
    {"--sign", &TPackOptions::SigningKey}, {"-o", &TPackOptions::Output},
    {"--output", &TPackOptions::Output},
};
constexpr TOption kShowOptions[] = {{"--key", &TPackOptions::PublicKey}};

bool Refuse(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

// Options (each once, each with a value) and operands, after the command word.
template <size_t N>
bool ReadArguments(const std::vector<std::string>& arguments, const TOption (&known)[N],
                   TPackOptions* options, std::vector<std::string>* operands, std::string* error) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.size() < 2 || argument[0] != '-') {
      operands->push_back(argument);
      continue;
    }
    const TOption* option = nullptr;
    for (const TOption& candidate : known) {
      if (argument == candidate.name) option = &candidate;
    }
    if (option == nullptr) return Refuse(error, "unknown option " + argument);
    if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
      return Refuse(error, argument + " needs a value");
    }
    std::string& value = options->*option->field;
    if (!value.empty()) return Refuse(error, argument + " is given twice");
    value = arguments[++i];
  }
  return true;
}

bool CheckMake(const std::vector<std::string>& operands, TPackOptions* options,
               std::string* error) {
  if (operands.size() != 1) return Refuse(error, "make takes one NEW_DIR");
  options->NewDir = operands[0];
  if (options->Product.empty()) return Refuse(error, "make needs --product");
  if (options->Version.empty()) return Refuse(error, "make needs --version");
  if (options->Output.empty()) return Refuse(error, "make needs -o ARCHIVE");
  if (!IsValidProduct(options->Product)) {
    return Refuse(error, "the product '" + options->Product + "' is not 1 to " +
                             std::to_string(kMaxProductLength) +
                             " ASCII letters, digits, '.', '-' and '_'");
  }
  for (const std::string* version : {&options->Version, &options->FromVersion}) {
    if (!version->empty() && !IsValidVersion(*version)) {
      return Refuse(error,
                    "the version '" + *version + "' is not decimal numbers separated by dots");
    }
  }
  if (!options->FromVersion.empty() && options->OldDir.empty()) {
    return Refuse(error, "--from-version needs --from OLD_DIR");
  }
  return true;
}

}  // namespace

bool ParsePackOptions(const std::vector<std::string>& arguments, TPackOptions* options,
                      std::string* error) {
  *options = TPackOptions();
  if (arguments.empty()) return Refuse(error, "no command");
  const std::string& command = arguments[0];
  if (arguments.size() == 1 && (command == "--help" || command == "-h")) return true;
  if (arguments.size() == 1 && command == "--version") {
    options->Command = TPackOptions::pcVersion;
    return true;
  }
  std::vector<std::string> operands;
  if (command == "make") {
    options->Command = TPackOptions::pcMake;
    return ReadArguments(arguments, kMakeOptions, options, &operands, error) &&
           CheckMake(operands, options, error);
  }
  if (command == "show") {
    options->Command = TPackOptions::pcShow;
    if (!ReadArguments(arguments, kShowOptions, options, &operands, error)) return false;
    if (operands.size() != 1) return Refuse(error, "show takes one ARCHIVE");
    options->Archive = operands[0];
    return true;
  }
  return Refuse(error, "unknown command '" + command + "'");
}
