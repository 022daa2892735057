#include "generator/extract.h"

#include "generator/page_output.h"
#include "store/blog.h"
#include "util/crc32.h"
#include "util/host.h"
#include "util/text.h"

namespace tessavo {

void ExtractTemplateFiles(PageWriter& writer, const PackageLines& lines) {
  Host& host = writer.host();
  Blog& blog = writer.blog();
  host.PublishLogLine("Processing Template Package...");
  for (const PackageFileRecord& rec : FileRecords(lines)) {
    const std::string& name = rec.name;
    host.PublishLogLine("...Extracting Template File " + ShowControlCharacters(name));
    if (blog.FindPicture(name) || blog.FindFile(name)) {
      host.PublishLogLine("...Note: Template file " + name + " is overriden by Pictures or Files");
      continue;
    }
    // A record naming a path would reach outside the output folder.
    if (!writer.CheckName(name)) continue;
    std::string bytes;
    const bool decoded = DecodeHexToBytes(rec.hex, bytes);  // empty bytes when it fails
    const int32_t crc = CrcToSigned(CalculateCRC32String(bytes));
    auto try_write = [&]() -> bool {
      if (!decoded) return false;
      try {
        writer.WriteOutputFile(name, bytes);
      } catch (const std::exception&) {
        return false;
      }
      return true;
    };
    writer.RecordGenerated(name, crc, &writer.counters().files_changed, [&] {
      if (!try_write()) {
        host.ShowInformation("Error extracting " + name + " from template package. Sorry.");
      }
    });
    writer.RepairLocal(name, crc, [&] { try_write(); });
  }
  host.PublishLogLine("Processing Template Package complete...");
}

LoadedPackage LoadAndExtractTemplatePackage(PageWriter& writer,
                                            const std::filesystem::path& program_folder,
                                            const std::string& template_file) {
  LoadedPackage package = LoadTemplatePackage(writer.host(), program_folder, template_file);
  ExtractTemplateFiles(writer, package.lines);
  return package;
}

}  // namespace tessavo
