// The 100 ms pause between two order requests: how long it really lasts and how many events it
// dispatches meanwhile, against a plain sleep of the same length (which dispatches none).
//
// Counters: median_ms over the runs; min_ticks and median_ticks, how often a 5 ms repeating
// timer fired during one pause; meets_target is 1 when the median lies within 100-115 ms and
// every pause saw at least 15 ticks.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "app/pump_wait.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

template <class Pause>
void measure_pause(benchmark::State& state, Pause pause) {
  int ticks = 0;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
  std::vector<double> lengths_ms;
  std::vector<double> tick_counts;
  for (auto _ : state) {
    ticks = 0;
    timer.start(5);
    const Clock::time_point start = Clock::now();
    pause();
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    timer.stop();
    state.SetIterationTime(elapsed.count());
    lengths_ms.push_back(elapsed.count() * 1000);
    tick_counts.push_back(ticks);
  }
  const double median_ms = median(lengths_ms);
  const double min_ticks = *std::min_element(tick_counts.begin(), tick_counts.end());
  state.counters["median_ms"] = median_ms;
  state.counters["min_ticks"] = min_ticks;
  state.counters["median_ticks"] = median(tick_counts);
  state.counters["meets_target"] = median_ms >= 100 && median_ms <= 115 && min_ticks >= 15;
}

void BM_PlainSleep100ms(benchmark::State& state) {
  measure_pause(state, [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
}
BENCHMARK(BM_PlainSleep100ms)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PumpWait100ms(benchmark::State& state) {
  measure_pause(state, [] { benchmark::DoNotOptimize(app::pump_wait(100)); });
}
BENCHMARK(BM_PumpWait100ms)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
