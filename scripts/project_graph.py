"""Pieces for writing JSON projects from Python: input values, uniform
definitions, a node graph built by port names, and a JSON layout that reads
like a table. Used by the make_project.py scripts of the sample demo and of
the test projects.
"""
import json
import os
import sys

# Value kinds of node inputs and outputs.
BOOL, INT, FLOAT, STRING, VEC3, IVEC2, TEXTURE2D = 0, 1, 2, 3, 5, 7, 13


def value(kind, v):
    return {"hasValue": True, "value": {"type": kind, "value": v}}


ABSENT = {"hasValue": False}


def uniform(name, lo=0, hi=1, default=0, is_string=False):
    d = {"name": name, "min_val": lo, "max_val": hi, "default_val": default}
    if is_string:
        d["is_string"] = True
    return d


class Graph:
    """Hands out ids the way the authoring side does (one counter for nodes,
    pins and links) and turns links by port name into indices."""

    def __init__(self):
        self.next_id = 1
        self.nodes = []

    def fresh(self):
        self.next_id += 1
        return self.next_id - 1

    def node(self, type_name, inputs, outputs, x=None, y=None, self_activating=False):
        """A node; without a position it takes the next place of a six-wide grid."""
        if x is None:
            index = len(self.nodes)
            x, y = 40 + 240 * (index % 6), 40 + 160 * (index // 6)
        n = Node(self, type_name, inputs, outputs, x, y, self_activating)
        self.nodes.append(n)
        return n

    def to_json(self, root):
        return {"root": root.id, "nodes": [n.to_json() for n in self.nodes]}


class Node:
    def __init__(self, graph, type_name, inputs, outputs, x, y, self_activating):
        self.graph = graph
        self.type_name = type_name
        self.input_names = [name for name, _ in inputs]
        self.inputs = [v for _, v in inputs]
        self.output_names = outputs
        self.id = graph.fresh()
        self.input_ids = [graph.fresh() for _ in inputs]
        self.output_ids = [graph.fresh() for _ in outputs]
        self.entry = graph.fresh()
        self.exit = graph.fresh()
        self.x, self.y = x, y
        self.self_activating = self_activating
        self.links = []

    def feed(self, output, dst, input_name):
        """Data link: this node's output (by name) into dst's input (by name)."""
        self.links.append({"id": self.graph.fresh(), "dst": dst.id,
                           "src_output_idx": self.output_names.index(output),
                           "dst_input_idx": dst.input_names.index(input_name)})
        return self

    def then(self, *dsts):
        """Activation links, run in this order after this node."""
        for dst in dsts:
            self.links.append({"id": self.graph.fresh(), "dst": dst.id, "src_output_idx": -1, "dst_input_idx": -1})
        return self

    def to_json(self):
        return {"id": self.id, "entryID": self.entry, "exitID": self.exit, "def": self.type_name,
                "selfActivating": self.self_activating, "posX": self.x, "posY": self.y,
                "inputs": self.inputs, "inputIDs": self.input_ids, "outputIDs": self.output_ids,
                "connections": self.links}


def dump(obj, indent=0):
    """JSON with anything short kept on one line, so the file reads like a table."""
    flat = json.dumps(obj, ensure_ascii=False)
    if len(flat) + indent <= 110 or not isinstance(obj, (dict, list)) or not obj:
        return flat
    pad = " " * (indent + 2)
    if isinstance(obj, dict):
        items = [pad + json.dumps(k) + ": " + dump(v, indent + 2) for k, v in obj.items()]
        return "{\n" + ",\n".join(items) + "\n" + " " * indent + "}"
    items = [pad + dump(v, indent + 2) for v in obj]
    return "[\n" + ",\n".join(items) + "\n" + " " * indent + "]"


def write_or_check(folder, project):
    """The command line of a make_project.py: write folder/project.json, or
    with --check exit 1 when the file is not what would be written."""
    path = os.path.join(folder, "project.json")
    text = dump(project) + "\n"
    if sys.argv[1:] == ["--check"]:
        with open(path) as f:
            if f.read() != text:
                sys.stderr.write("project.json differs from what make_project.py writes\n")
                return 1
        return 0
    if sys.argv[1:]:
        sys.stderr.write("usage: make_project.py [--check]\n")
        return 2
    with open(path, "w") as f:
        f.write(text)
    return 0
