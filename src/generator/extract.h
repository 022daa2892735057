// Writing a template package's design files (images, style sheets) into the output folder
// at the start of a generation run, tracked in tblPages like every other output file.
#pragma once

#include <filesystem>
#include <string>

#include "templates/package.h"

namespace tessavo {

class PageWriter;

// For every usable file record of `lines`, in order: "...Extracting Template File " + name;
// a name that the blog's pictures or extra files already use (ignoring letter case) logs
// "...Note: Template file " + name + " is overriden by Pictures or Files" and is left
// alone; otherwise the decoded bytes are tracked with the page output rules (counted with
// the files). A failed first write shows "Error extracting " + name + " from template
// package. Sorry." and the record is kept all the same; the repair write that follows
// is silent. Between "Processing Template Package..." and
// "Processing Template Package complete...".
void ExtractTemplateFiles(PageWriter& writer, const PackageLines& lines);

// LoadTemplatePackage (templates/package.h) followed by ExtractTemplateFiles: the whole
// template step of a generation run. Returns the package in use.
LoadedPackage LoadAndExtractTemplatePackage(PageWriter& writer,
                                            const std::filesystem::path& program_folder,
                                            const std::string& template_file);

}  // namespace tessavo
