// A user's click on a check box, delivered through the window's own
// hit-testing, to the updated line in the text box.
#include "form1.h"
#include "hitpoint.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

Form1 *form = nullptr;

void clickToLine(benchmark::State &state) {
    auto *box = form->findChild<QCheckBox *>(QStringLiteral("chkAdmin(27)"));
    auto *line = form->findChild<QLineEdit *>(QStringLiteral("txtBitRate"));
    const QPoint at = box->mapTo(form, hitPoint(box));
    for (auto _ : state) {
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, at);
        benchmark::DoNotOptimize(line->text().size());
    }
    state.SetLabel(line->text().toStdString());
}
BENCHMARK(clickToLine)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    Form1 window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    form = &window;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
