// A package that imports a library of its own (package_helper.dll).
extern "C" __declspec(dllimport) int package_helper_answer();

extern "C" __declspec(dllexport) int dependent_package_answer() {
  return package_helper_answer();
}
