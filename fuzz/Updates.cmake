# The feed's parser and its rules, without the rest of the application.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Network)
set(qm_updates ${PROJECT_SOURCE_DIR}/App/Sources/Updates)
qm_add_fuzzer(appcast SOURCES AppcastFuzz.cpp ${qm_updates}/Appcast.cpp
              ${qm_updates}/DistributionConfig.cpp ${qm_updates}/UpdateError.cpp
              ${qm_updates}/UpdateVersion.cpp ${PROJECT_SOURCE_DIR}/QuillmereKit/Sources/QuillmereKit/Help/WebURL.cpp
              DEPENDS QuillmereCore Qt6::Core Qt6::Network nlohmann_json::nlohmann_json)
target_include_directories(fuzz_appcast PRIVATE ${PROJECT_SOURCE_DIR}/App/Sources)
