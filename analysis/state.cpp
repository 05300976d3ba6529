// The analysis state of zelk: options, structure data, driver arrays, totals,
// the check of the last solve and the hooks for tests.
#include "accuracy.h"
#include "analysis.h"
#include "test_switches.h"

int debug = 0; // read by the library for its traces

char *programa = nullptr;

int imprimir_B = 0;
int printQoS = 0;
int checkinputonly = 0;
int silentmode = 0;
int maxciclos = 10;

int buckling = 0;
float buckling_tolerance = 0.0f;
int expansion = 0;
float expansion_eps = 0.0f;
float expansion_alfa = 0.0f;
int escalay = 0;
float factory = 0.0f;

int nn = 0, nb = 0, nm = 0, ns = 0;

float_list cdn;
int_list ndb;
int_list sb;
float_list As;
int_list ms;
float_list E;
float_list q;
int_list v;
float_list d;

float_list qorig;
std::vector<double> QoSs;
float_list Aest;
float_list epsest;
int Destricto = 0;
int Convergencia = 0;
int sizing_cycles = 0;
int kept_areas = 0;
int ni = 0;

double QoS = 0, QoSt = 0, QoSc = 0, QoSh = 0, QoSv = 0, NoM = 0;
double NoMq = 0;

accuracy_report last_accuracy;

test_switches test_switch;
stiffness_counts stiffness_use;

namespace {
template <class T> void drop(std::vector<T> &x) {
    std::vector<T>().swap(x);
}
} // namespace

void zelk_reset() {
    debug = 0;
    programa = nullptr;
    imprimir_B = printQoS = checkinputonly = silentmode = 0;
    maxciclos = 10;
    buckling = expansion = escalay = 0;
    buckling_tolerance = expansion_eps = expansion_alfa = factory = 0.0f;
    nn = nb = nm = ns = 0;
    drop(cdn);
    drop(ndb);
    drop(sb);
    drop(As);
    drop(ms);
    drop(E);
    drop(q);
    drop(v);
    drop(d);
    drop(qorig);
    drop(QoSs);
    drop(Aest);
    drop(epsest);
    Destricto = Convergencia = ni = 0;
    sizing_cycles = kept_areas = 0;
    QoS = QoSt = QoSc = QoSh = QoSv = NoM = NoMq = 0;
    reset_accuracy();
    test_switch = test_switches{};
    stiffness_use = stiffness_counts{};
}
