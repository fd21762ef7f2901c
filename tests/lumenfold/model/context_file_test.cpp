#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "fixtures.h"
#include "model/context_file.h"

using nlohmann::json;

namespace {

TEST(ContextFile, WhatRunWritesReadsBackFieldForField) {
    RunContext written;
    written.program = "cube";
    written.date = "2026-12-07T14:05:09+01:00";
    written.gl.renderer = "llvmpipe (LLVM 15.0.6, 256 bits)";
    written.swapInterval.inForce = 0;
    written.cpu.cores = 2;
    written.kernel = RunContext::Kernel{"Linux", "6.1.0", "#1 SMP", "x86_64"};
    written.environment["mesa_glthread"] = "true";
    written.conditions.loadAverage = 0.5;
    written.warnings = {"a software rasteriser (llvmpipe): the figures measure the CPU"};
    written.request.frames = 5;
    written.window = RunContext::Window{640, 480};
    written.outcome = RunContext::Outcome{true, std::nullopt, 5, "exited with status 0", {"a line"}};
    const json text = written;
    // Unknown and absent values are null; a measurement run says nothing of validation.
    EXPECT_TRUE(text["request"]["seconds"].is_null());
    EXPECT_TRUE(text["conditions"]["boost"].is_null());
    EXPECT_FALSE(text.contains("validation"));

    const ContextRead read = parseContext(text.dump(2), "c.json");
    ASSERT_TRUE(read.present);
    const RunContext& c = read.context;
    EXPECT_EQ(json(c), text);
    EXPECT_EQ(c.cpu.cores, 2);
    EXPECT_EQ(c.kernel->release, "6.1.0");
    EXPECT_EQ(c.window->height, 480);
    EXPECT_EQ(c.outcome->programStderr, std::vector<std::string>{"a line"});

    written.validation = true;
    EXPECT_EQ(json(written)["validation"], true);
    EXPECT_TRUE(parseContext(json(written).dump(), "c.json").context.validation);
}

TEST(ContextFile, OddFilesReadWhatTheyCanAndUnusableOnesSayWhy) {
    // Wrong types leave the defaults; warnings edited by hand still show.
    const ContextRead odd = parseContext(
        R"({"program": 3, "gl": "none", "cpu": {"model": "X", "cores": "two"}, "validation": "yes",
            "warnings": ["load", {"message": "swap interval 1"}, 7]})",
        "odd.json");
    ASSERT_TRUE(odd.present);
    EXPECT_EQ(odd.context.program, "");
    EXPECT_EQ(odd.context.gl.renderer, "unknown");
    EXPECT_EQ(odd.context.cpu.model, "X");
    EXPECT_FALSE(odd.context.cpu.cores.has_value());
    EXPECT_FALSE(odd.context.validation);
    EXPECT_EQ(odd.context.warnings, (std::vector<std::string>{"load", "swap interval 1", "7"}));
    // Files of earlier versions keep what only they hold.
    const std::string earlier = R"({"swapInterval": {"default": null, "extension": "GLX_MESA_swap_control", "inForce": 0}})";
    json swap = json::parse(earlier)["swapInterval"];
    swap["measuredOn"] = "";
    EXPECT_EQ(json(parseContext(earlier, "e.json").context)["swapInterval"], swap);

    EXPECT_EQ(parseContext("[1]", "a.json").problem, "a.json: not a context file (not a JSON object)");
    EXPECT_FALSE(parseContext("{\"warnings\": [", "a.json").present);

    EXPECT_EQ(contextPathFor("/d/results_cube @ t.txt"), "/d/results_cube @ t.json");
    EXPECT_EQ(contextPathFor("/d/odd"), "/d/odd.json");
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "lumenfold-context-test";
    std::filesystem::create_directories(dir);
    // None beside a results file is no problem; a FIFO is refused, not read.
    EXPECT_EQ(readContextFile((dir / "absent.json").string()).problem, "");
    const std::string fifo = (dir / "fifo.json").string();
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const ContextRead refused = readContextFile(fifo);
    EXPECT_FALSE(refused.present);
    EXPECT_NE(refused.problem.find("fifo.json: "), std::string::npos);
    std::filesystem::remove_all(dir);
}

// Every place that names a run's conditions takes them from here: the same
// facts in the same order, the kernel as uname -srvm, a variable unset or a
// value not recorded as none.
TEST(ContextFile, ConditionFactsOfARun) {
    RunContext c;
    c.gl.renderer = "llvmpipe";
    c.kernel = RunContext::Kernel{"Linux", "6.1.0-13-amd64", "#1 SMP Debian 6.1.55-1", "x86_64"};
    c.environment["vblank_mode"] = "0";
    c.labels["build"] = "nightly-7";
    std::vector<std::string> keys, labels;
    for (const ContextFact& fact : conditionFacts(c)) {
        keys.push_back(fact.key);
        labels.push_back(fact.label);
        // Variables and labels may be unset on one side; the rest are recorded or not.
        EXPECT_EQ(fact.variable, fact.key == "environment." + fact.label || fact.key == "label.build") << fact.key;
    }
    ASSERT_EQ(keys.size(), 5 + recordedEnvironment().size() + 2);
    EXPECT_EQ(std::vector<std::string>(keys.end() - 2, keys.end()), (std::vector<std::string>{"revision", "label.build"}));
    EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 6),
              (std::vector<std::string>{"renderer", "glVersion", "kernel", "cpuModel", "lumenfoldVersion",
                                        "environment." + recordedEnvironment().front()}));
    EXPECT_EQ(std::vector<std::string>(labels.begin(), labels.begin() + 5),
              (std::vector<std::string>{"GL renderer", "GL version", "kernel", "CPU model", "Lumenfold version"}));

    const std::vector<ContextFact> facts = conditionFacts(c);
    EXPECT_EQ(facts[0].value, "llvmpipe");
    EXPECT_EQ(facts[1].value, "unknown");   // as the record holds a GL string nobody could read
    EXPECT_EQ(facts[2].value, "Linux 6.1.0-13-amd64 #1 SMP Debian 6.1.55-1 x86_64");
    EXPECT_FALSE(facts[4].value.has_value());   // no version recorded
    for (const ContextFact& fact : facts) {
        if (fact.variable) {
            EXPECT_EQ(fact.value.has_value(), fact.label == "vblank_mode" || fact.label == "label build") << fact.label;
        }
    }

    c.kernel = RunContext::Kernel{"", "6.5.0", "", ""};
    EXPECT_EQ(kernelText(c), "6.5.0");
    c.kernel = RunContext::Kernel{};
    EXPECT_FALSE(kernelText(c).has_value());
    c.kernel.reset();
    EXPECT_FALSE(kernelText(c).has_value());
}

}  // namespace
