# Writes OUT, a C++ file holding every DIR/*.sql as a string, in file name order:
#   const std::vector<std::pair<std::string, std::string>>& SchemaFiles();
file(GLOB files "${DIR}/*.sql")
list(SORT files)
set(body "// Generated from schema/*.sql; do not edit.\n#include \"db/schema_files.h\"\n\nnamespace zoras {\n\nconst std::vector<std::pair<std::string, std::string>>& SchemaFiles() {\n  static const std::vector<std::pair<std::string, std::string>> files = {\n")
foreach(f ${files})
  get_filename_component(name ${f} NAME)
  file(READ ${f} text)
  # Raw string with a delimiter that DDL never contains.
  string(APPEND body "      {\"${name}\", R\"zoras_sql(${text})zoras_sql\"},\n")
endforeach()
string(APPEND body "  };\n  return files;\n}\n\n}  // namespace zoras\n")
file(WRITE ${OUT} "${body}")
