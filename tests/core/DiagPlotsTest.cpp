#include "DiagPlots.h"
#include "Control.h"
#include "Gclass.h"
#include "Mclass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

/// Central differences of y over x at the inner points, for comparing a derivative plot with
/// the plot of its quantity.
std::vector<double> CentralDifferences(const std::vector<double>& x, const std::vector<double>& y) {
    std::vector<double> d(x.size(), 0.0);
    for (std::size_t k = 1; k + 1 < x.size(); ++k)
        d[k] = (y[k + 1] - y[k - 1]) / (x[k + 1] - x[k - 1]);
    return d;
}

double MaxAbs(const std::vector<double>& v) {
    double m = 0;
    for (double e : v)
        m = std::max(m, std::fabs(e));
    return m;
}

} // namespace

TEST(AngleGrid, RunsFromTheStartToTheEndAngleWithPiTakenAs3_1416) {
    const std::vector<double> beta = AngleGrid(0, 360, 1000);
    ASSERT_EQ(beta.size(), 1000u);
    EXPECT_EQ(beta.front(), 0.0);
    EXPECT_NEAR(beta.back(), 6.2832, 1e-12);
    EXPECT_NEAR(beta[1] - beta[0], 6.2832 / 999, 1e-15);

    const std::vector<double> reversed = AngleGrid(90, -90, 3);
    EXPECT_NEAR(reversed[0], 1.5708, 1e-12);
    EXPECT_NEAR(reversed[1], 0.0, 1e-12);
    EXPECT_NEAR(reversed[2], -1.5708, 1e-12);
}

TEST(AngleGrid, OfOneSampleIsTheStartAngleAndOfNoneIsEmpty) {
    EXPECT_EQ(AngleGrid(180, 360, 1), std::vector<double>{180 * 2 * 3.1416 / 360});
    EXPECT_TRUE(AngleGrid(0, 360, 0).empty());
    EXPECT_TRUE(AngleGrid(0, 360, -5).empty());
}

class CDiagModels : public testing::Test {
protected:
    CMclass m_m{18};
    CGclass m_g{18};
    CControl m_control;
};

TEST_F(CDiagModels, InductancePlotDefaultsGiveTheSelfInductanceOfCoil4InMillihenry) {
    const CIndSettings settings; // coils 4 and 4, 0 to 360 deg, 1000 samples, Nh 3
    const CMotorParams motor;
    const CDiagPlot plot = InductancePlot(settings, motor, m_m, m_g);
    ASSERT_TRUE(plot.Ok()) << plot.m_strMessage;
    ASSERT_EQ(plot.m_x.size(), 1000u);
    ASSERT_EQ(plot.m_y.size(), 1000u);
    EXPECT_EQ(plot.m_x.front(), 0.0);
    EXPECT_NEAR(plot.m_x.back(), 6.2832, 1e-12);
    EXPECT_EQ(plot.m_strXLabel, "beta [rad]");
    EXPECT_EQ(plot.m_strYLabel, "M [mH]");
    EXPECT_EQ(m_m.m_nNh, 3u);

    CMclass reference(18); // a fresh model with the same settings, in henry
    reference.m_nNh = 3;
    reference.m_dMl = 1;
    reference.m_dMm = 1;
    for (std::size_t k = 0; k < plot.m_x.size(); k += 111)
        EXPECT_DOUBLE_EQ(plot.m_y[k], 1000 * reference.Inductance(4, 4, plot.m_x[k]));
    EXPECT_GT(plot.m_y.front(), 0.0);
}

TEST_F(CDiagModels, InductancePlotAppliesTheSelfAndMutualMultipliers) {
    CIndSettings self;
    CIndSettings mutual;
    mutual.m_nY = 5;
    CMotorParams unit;
    CMotorParams scaled;
    scaled.m_dMl = 3;
    scaled.m_dMm = 0.5;
    const CDiagPlot self1 = InductancePlot(self, unit, m_m, m_g);
    const CDiagPlot self3 = InductancePlot(self, scaled, m_m, m_g);
    const CDiagPlot mutual1 = InductancePlot(mutual, unit, m_m, m_g);
    const CDiagPlot mutualHalf = InductancePlot(mutual, scaled, m_m, m_g);
    ASSERT_TRUE(self3.Ok() && mutualHalf.Ok());
    for (std::size_t k = 0; k < self1.m_y.size(); k += 97) {
        EXPECT_NEAR(self3.m_y[k], 3 * self1.m_y[k], 1e-12 * std::fabs(self1.m_y[k]));
        EXPECT_NEAR(mutualHalf.m_y[k], 0.5 * mutual1.m_y[k], 1e-12 * std::fabs(mutual1.m_y[k]));
    }
}

TEST_F(CDiagModels, RotationInductanceIsTheDerivativeOfTheInductancePlot) {
    CIndSettings settings;
    settings.m_nN = 4001;
    settings.m_nY = 7;
    const CMotorParams motor;
    const CDiagPlot inductance = InductancePlot(settings, motor, m_m, m_g);
    settings.m_bRotation = true;
    const CDiagPlot rotation = InductancePlot(settings, motor, m_m, m_g);
    ASSERT_TRUE(rotation.Ok());
    EXPECT_EQ(rotation.m_strYLabel, "G [mH/rad]");
    const std::vector<double> numeric = CentralDifferences(inductance.m_x, inductance.m_y);
    const double scale = MaxAbs(rotation.m_y);
    ASSERT_GT(scale, 0.0);
    for (std::size_t k = 1; k + 1 < numeric.size(); k += 50)
        EXPECT_NEAR(rotation.m_y[k], numeric[k], 1e-3 * scale) << "k = " << k;
}

TEST_F(CDiagModels, FluxDensityWithoutAirGapIsTheSameForEveryCoil) {
    CFluxPlotSettings settings;
    settings.m_nQuantity = 0;
    settings.m_nY = 2;
    settings.m_nX = 0;
    const CDiagPlot first = FluxPlot(settings, m_g);
    ASSERT_TRUE(first.Ok()) << first.m_strMessage;
    EXPECT_EQ(first.m_strYLabel, "B [T]");
    EXPECT_GT(MaxAbs(first.m_y), 0.0);
    for (int coil = 1; coil < 18; ++coil) {
        settings.m_nX = coil;
        EXPECT_EQ(FluxPlot(settings, m_g).m_y, first.m_y) << "coil " << coil;
    }
    settings.m_nY = 1; // the magnet does matter
    EXPECT_NE(FluxPlot(settings, m_g).m_y, first.m_y);
}

TEST_F(CDiagModels, FluxPlotSetsTheHarmonicBoundAndLabelsEachQuantity) {
    CFluxPlotSettings settings; // defaults: Flux, coil 0, magnet 0, Nh 99
    const CDiagPlot flux = FluxPlot(settings, m_g);
    ASSERT_TRUE(flux.Ok());
    EXPECT_EQ(m_g.m_nNb, 100u);
    EXPECT_EQ(flux.m_strXLabel, "beta [rad]");
    EXPECT_EQ(flux.m_strYLabel, "Psi [Wb]");
    EXPECT_EQ(flux.m_x.size(), 1000u);
    settings.m_nQuantity = 2;
    EXPECT_EQ(FluxPlot(settings, m_g).m_strYLabel, "dPsi/dbeta [Wb/rad]");
}

TEST_F(CDiagModels, AirGapQuantitiesSumTheFourMagnets) {
    CFluxPlotSettings settings;
    settings.m_bAirGap = true;
    settings.m_nN = 50;
    settings.m_nNh = 20;
    for (int quantity = 0; quantity < 3; ++quantity) {
        settings.m_nQuantity = quantity;
        settings.m_nX = 5; // indices play no part with "Air gap"
        settings.m_nY = 3;
        const CDiagPlot plot = FluxPlot(settings, m_g);
        ASSERT_TRUE(plot.Ok());
        for (std::size_t k = 0; k < plot.m_x.size(); ++k) {
            double sum = 0;
            for (int mag = 0; mag < 4; ++mag) {
                const double a = plot.m_x[k];
                sum += quantity == 0   ? m_g.FluxDensity(mag, a)
                       : quantity == 1 ? m_g.MagnetFlux(mag, a)
                                       : m_g.MagnetFluxDensityArc(mag, a);
            }
            EXPECT_DOUBLE_EQ(plot.m_y[k], sum) << "quantity " << quantity << ", k " << k;
        }
    }
}

TEST_F(CDiagModels, FluxDerivativeIsTheDerivativeOfTheFluxLinkage) {
    CFluxPlotSettings settings;
    settings.m_nN = 1000;
    settings.m_nX = 4;
    settings.m_nY = 1;
    settings.m_nNh = 15;
    const CDiagPlot flux = FluxPlot(settings, m_g);
    settings.m_nQuantity = 2;
    const CDiagPlot derivative = FluxPlot(settings, m_g);
    const std::vector<double> numeric = CentralDifferences(flux.m_x, flux.m_y);
    const double scale = MaxAbs(derivative.m_y);
    ASSERT_GT(scale, 0.0);
    for (std::size_t k = 1; k + 1 < numeric.size(); k += 25)
        EXPECT_NEAR(derivative.m_y[k], numeric[k], 2e-3 * scale) << "k = " << k;
}

TEST_F(CDiagModels, VoltagePlotCoversTheIntervalPerUnitOfDcVoltage) {
    const CVoltPlotSettings settings; // 5 kHz, mf 0.01, ma 0.5, 0 to 0.04 s, 1000 samples, Ua
    const CDiagPlot plot = VoltagePlot(settings, m_control);
    ASSERT_TRUE(plot.Ok()) << plot.m_strMessage;
    EXPECT_FALSE(plot.m_bTimesSwapped);
    ASSERT_GE(plot.m_x.size(), 999u);
    ASSERT_LE(plot.m_x.size(), 1000u);
    EXPECT_EQ(plot.m_y.size(), plot.m_x.size());
    EXPECT_EQ(plot.m_x.front(), 0.0);
    EXPECT_NEAR(plot.m_x[998], 0.04 * 998 / 999, 1e-12);
    EXPECT_EQ(plot.m_strXLabel, "t [s]");
    EXPECT_EQ(plot.m_strYLabel, "U [V]");
    // Ua takes only the levels of the six vectors for Ud = 1: 0, +-(2/3), +-(1/3).
    const double k = 1.4142 / 1.7321 * 1.4142 / 1.7321;
    for (double u : plot.m_y) {
        const double r = std::fabs(u) / k;
        EXPECT_TRUE(r == 0 || std::fabs(r - 1) < 1e-12 || std::fabs(r - 0.5) < 1e-12) << u;
    }
}

TEST_F(CDiagModels, VoltagePlotExchangesReversedTimesAndSaysSo) {
    CVoltPlotSettings settings;
    settings.m_dTs = 0.04;
    settings.m_dTe = 0;
    const CDiagPlot reversed = VoltagePlot(settings, m_control);
    ASSERT_TRUE(reversed.Ok());
    EXPECT_TRUE(reversed.m_bTimesSwapped);
    settings.m_dTs = 0;
    settings.m_dTe = 0.04;
    const CDiagPlot ordered = VoltagePlot(settings, m_control);
    EXPECT_EQ(reversed.m_x, ordered.m_x);
    EXPECT_EQ(reversed.m_y, ordered.m_y);

    settings.m_dTe = 0;
    const CDiagPlot empty = VoltagePlot(settings, m_control);
    EXPECT_FALSE(empty.Ok());
    EXPECT_TRUE(empty.m_bTimesSwapped);
    EXPECT_NE(empty.m_strMessage.find("ts ="), std::string::npos);
}

TEST_F(CDiagModels, EveryPlotRefusesFewerThanTwoSamplesNamingN) {
    for (int N : {1, 0, -3}) {
        CIndSettings ind;
        ind.m_nN = N;
        CFluxPlotSettings flux;
        flux.m_nN = N;
        CVoltPlotSettings volt;
        volt.m_nN = N;
        for (const CDiagPlot& plot : {InductancePlot(ind, CMotorParams{}, m_m, m_g),
                                      FluxPlot(flux, m_g), VoltagePlot(volt, m_control)}) {
            EXPECT_FALSE(plot.Ok());
            EXPECT_TRUE(plot.m_x.empty());
            EXPECT_EQ(plot.m_strMessage.rfind("N = (", 0), 0u) << plot.m_strMessage;
        }
    }
    CVoltPlotSettings huge;
    huge.m_nN = kMaxPlotSamples + 1;
    EXPECT_FALSE(VoltagePlot(huge, m_control).Ok());
}

TEST_F(CDiagModels, IndicesOutsideTheirRangesAreRefusedNamingTheField) {
    CIndSettings ind;
    ind.m_nX = 18;
    const CDiagPlot a = InductancePlot(ind, CMotorParams{}, m_m, m_g);
    EXPECT_FALSE(a.Ok());
    EXPECT_EQ(a.m_strMessage.rfind("x =", 0), 0u) << a.m_strMessage;
    CFluxPlotSettings flux;
    flux.m_nY = 4;
    const CDiagPlot b = FluxPlot(flux, m_g);
    EXPECT_FALSE(b.Ok());
    EXPECT_EQ(b.m_strMessage.rfind("y =", 0), 0u) << b.m_strMessage;
}
