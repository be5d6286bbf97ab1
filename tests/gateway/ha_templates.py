#!/usr/bin/env python3
"""Home Assistant's view of MQTT messages, for the gateway's tests.

Reads {"configs": {topic: payload}, "messages": [[topic, payload], ...]} on standard input and
prints one JSON result per message and entity that listens to its topic:
{"entity": unique_id, "index": i, "value": "on" | "Input 1" | "38.5" | null, "problem": text}.

Templates are rendered with Jinja2 in a sandbox, as Home Assistant renders them (value and
value_json; None renders as "None"), then read the way its MQTT platforms read the result.
Undefined names are errors here: Home Assistant would log a warning for each.
"""
import json
import sys
from datetime import datetime

from jinja2 import StrictUndefined
from jinja2.sandbox import ImmutableSandboxedEnvironment

ENV = ImmutableSandboxedEnvironment(undefined=StrictUndefined)
NUMERIC_EXEMPT = {None, "date", "enum", "timestamp"}


def render(template, payload):
    variables = {"value": payload}
    try:
        variables["value_json"] = json.loads(payload)
    except ValueError:
        pass
    return ENV.from_string(template).render(**variables)


def state_of(platform, config, text):
    """The entity's state from the rendered text, or a problem Home Assistant would log."""
    if platform == "switch":
        if text == config.get("state_on", config.get("payload_on", "ON")):
            return "on", None
        if text == config.get("state_off", config.get("payload_off", "OFF")):
            return "off", None
        if text == "None":
            return None, None
        return None, "no matching payload: %r" % text
    if platform == "select":
        if not text.strip():
            return None, "empty payload"
        if text.lower() == "none":
            return None, None
        if text not in config["options"]:
            return None, "Invalid option: %r" % text
        return text, None
    if platform == "binary_sensor":
        if not text.strip():
            return None, "empty template output"
        if text == config.get("payload_on", "ON"):
            return "ON", None
        if text == config.get("payload_off", "OFF"):
            return "OFF", None
        if text == "None":
            return None, None
        return None, "no matching payload: %r" % text
    if platform == "sensor":
        if text == "None":
            return None, None
        device_class = config.get("device_class")
        if device_class == "timestamp":
            try:
                stamp = datetime.fromisoformat(text.replace("Z", "+00:00"))
            except ValueError:
                return None, "not a timestamp: %r" % text
            if stamp.tzinfo is None:
                return None, "a timestamp without a time zone: %r" % text
            return text, None
        numeric = device_class not in NUMERIC_EXEMPT or "unit_of_measurement" in config or \
            "state_class" in config
        if numeric:
            try:
                float(text)
            except ValueError:
                return None, "not a number: %r" % text
        return text, None
    return None, "unknown platform %s" % platform


def main():
    data = json.load(sys.stdin)
    entities = []
    for topic, payload in data["configs"].items():
        if payload:
            entities.append((topic.split("/")[-4], json.loads(payload)))
    results = []
    for index, (topic, payload) in enumerate(data["messages"]):
        for platform, config in entities:
            uid = config["unique_id"]
            if config.get("state_topic") == topic:
                try:
                    text = render(config["value_template"], payload) \
                        if "value_template" in config else payload
                    value, problem = state_of(platform, config, text)
                except Exception as error:  # a template error is one of HA's log lines
                    value, problem = None, "template: %s" % error
                results.append({"entity": uid, "index": index, "value": value,
                                "problem": problem})
            if config.get("json_attributes_topic") == topic:
                problem = None
                try:
                    attributes = json.loads(render(config.get("json_attributes_template",
                                                              "{{ value }}"), payload))
                    if not isinstance(attributes, dict):
                        problem = "attributes are not an object"
                except Exception as error:
                    problem = "attributes: %s" % error
                results.append({"entity": uid + "#attributes", "index": index, "value": None,
                                "problem": problem})
    json.dump(results, sys.stdout)


if __name__ == "__main__":
    main()
