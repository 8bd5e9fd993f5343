"""Every list of the seven functions agrees with tools/function_table.py.

The module itself is checked against the table in test_module.py (through
conftest.FUNCTIONS, which is built from it); here the stubs, the adversarial
tables, the benchmarks and the packaging check."""
import ast
import re
import sys
from pathlib import Path

import adversarial
import function_table

ROOT = Path(__file__).resolve().parents[2]
KIND_OF_ANNOTATION = {"_Floats": function_table.SEQUENCE, "SupportsFloat": function_table.FLOAT}


def test_stubs_list_the_functions_with_their_parameters_in_order():
    tree = ast.parse((ROOT / "stubs" / "tessarin-stubs" / "__init__.pyi").read_text())
    exported = next(node.value for node in tree.body if isinstance(node, ast.Assign)
                    and [t.id for t in node.targets] == ["__all__"])
    assert ast.literal_eval(exported) == function_table.NAMES
    functions = [(node.name, tuple((a.arg, KIND_OF_ANNOTATION.get(ast.unparse(a.annotation)))
                                   for a in node.args.args))
                 for node in tree.body if isinstance(node, ast.FunctionDef)]
    assert functions == list(function_table.FUNCTIONS)


def test_adversarial_traits_cover_the_table():
    assert list(adversarial.TRAITS) == function_table.NAMES
    assert [f.name for f in adversarial.FUNCTIONS] == function_table.NAMES


def test_benchmarks_time_every_function_and_no_other():
    sys.path.insert(0, str(ROOT / "benchmarks"))
    import peers

    timed = {m.name.split(" N=")[0] for m in peers.tessarin_methods()}
    assert timed == set(function_table.NAMES)


def test_packaging_check_reads_the_table():
    script = (ROOT / "tools" / "ci" / "package.sh").read_text()
    assert '"$ROOT/tools/function_table.py"' in script
    assert set(re.findall(r"\b\w+_magnification\b", script)) <= set(function_table.NAMES)
