"""The validation report's checks with their tolerances (tools/validation/run.py writes the
report from the same checks)."""

import math

import pytest

import checks

TOL = checks.TOLERANCE


def test_energy_balances_in_every_condition_and_fault():
    for case in checks.section1():
        assert case["relative"] <= TOL["energy"], case["name"]


def test_sine_supply_steady_state_follows_the_dq_model_of_the_tables():
    result = checks.section2()
    for nh, p in result["params"].items():
        assert p["variation"] < 1e-3 and p["Ld"] > 0 and p["Lq"] > 0, nh
    assert result["params"][1]["Lq"] > 1.5 * result["params"][1]["Ld"]  # saliency of NhInd 1
    for case in result["cases"]:
        assert case["ia_error"] <= TOL["dq"], case
        assert case["te_error"] <= TOL["dq"], case


def test_diode_bridge_follows_the_textbook_with_a_high_diode_roff():
    low, high = checks.section3()
    assert high["error"] <= TOL["bridge"]
    assert low["V_kalvor"] < high["V_kalvor"]  # the off diodes leak load current
    assert 20 < high["overlap_deg"] < 60  # the formula holds for overlaps below 60 degrees


def test_back_emf_constant_matches_the_tables_at_every_speed():
    for case in checks.section4():
        assert case["error"] <= TOL["emf"], case["speed"]


def test_six_step_field_turns_with_the_rotor():
    first, second = checks.section5()["held"]
    assert first["std"] < 10 and second["std"] < 10
    assert abs(first["mean"] - second["mean"]) > 30


def test_no_line_voltage_beyond_the_dc_link_after_the_first_millisecond():
    for name, case in checks.section5()["lines"].items():
        assert case["excess"] <= TOL["line_margin"], name


def test_default_facts_stated_in_the_report():
    f = checks.section6()
    assert f["device_power"] == pytest.approx(f["leak_power"], rel=0.05)
    assert f["device_share"] > 0.5
    assert f["inrush_peak"] > 0.5 * f["inrush_limit"] and f["tau"] < 3 * f["h"]
    assert f["ramp_time"] > f["te"] and f["final_reference"] < 100
    assert math.isclose(f["source_r_energy"], f["capacitor_energy"], rel_tol=0.05)


def test_exact_switching_converges_and_beats_the_fixed_grid():
    res = checks.convergence_quick()
    sine = res["sine"]
    assert math.log2(sine[0]["ia run"] / sine[1]["ia run"]) >= TOL["exact_order"], sine
    default, exact = res["start"][False], res["start"][True]
    assert exact["ia start"] <= TOL["exact_start"]
    assert exact["ia start"] * 100 < default["ia start"]
    assert abs(exact["ledger"]) <= TOL["ledger"] and default["ledger"] is None
    instants = [p["instant"] for p in checks.convergence.shoot_through_peaks(True)]
    assert (max(instants) - min(instants)) / max(instants) <= TOL["peak"], instants


def test_field_oriented_control_follows_its_design_and_the_dq_model():
    f = checks.section7()
    step = f["step"]
    assert abs(step["t63"] / step["design_t63"] - 1) <= TOL["foc_t63"]
    assert step["id_largest"] < 0.05
    for case in f["torque"]:
        assert case["error"] <= TOL["foc_torque"], case
    plain, salient, mtpa = f["torque"]
    assert abs(plain["id"]) < 0.01 and mtpa["id"] < -0.03  # MTPA drives id negative (Ld < Lq)
    assert mtpa["per_ampere"] > salient["per_ampere"]  # and gets more torque per ampere
    assert abs(f["hold"]["error"]) <= TOL["foc_speed"]


def test_gates_off_rectify_only_above_the_back_emf_speed():
    res = checks.section9()
    assert abs(res["measured"] - res["threshold"]) <= TOL["generator"] * res["threshold"]
    for point in res["points"]:
        below = point["speed"] < res["threshold"]
        assert (point["diode"] > 2 * res["leakage"]) != below, point
        assert point["trip"] == "overvoltage"


def test_active_short_circuit_current_follows_the_dq_formula():
    res = checks.section10()
    for point in res["points"]:
        assert point["error"] <= TOL["short_circuit"], point["speed"]
        assert point["torque"] < 0 and point["upper"] < 0.5, point["speed"]
