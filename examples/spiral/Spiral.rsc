{
  "format": "plmhost-resources",
  "version": 1,
  "dialogs": {
    "16001": {
      "title": "Spiral Settings",
      "size": [400, 200],
      "controls": [
        {"id": 200, "kind": "GroupBox", "bounds": [0, 0, 200, 140], "title": "Shape"},
        {"id": 100, "kind": "StaticText", "bounds": [0, 20, 104, 40], "title": "Points"},
        {"id": 3, "kind": "EditText", "bounds": [112, 20, 200, 40], "name": "pointCount"},
        {"id": 101, "kind": "StaticText", "bounds": [0, 40, 104, 60], "title": "Arms"},
        {"id": 4, "kind": "EditText", "bounds": [112, 40, 200, 60], "name": "arms"},
        {"id": 102, "kind": "StaticText", "bounds": [0, 60, 104, 80], "title": "Turns"},
        {"id": 5, "kind": "EditText", "bounds": [112, 60, 200, 80], "name": "turns"},
        {"id": 103, "kind": "StaticText", "bounds": [0, 80, 104, 100], "title": "Radius"},
        {"id": 6, "kind": "EditText", "bounds": [112, 80, 200, 100], "name": "radius"},
        {"id": 104, "kind": "StaticText", "bounds": [0, 100, 104, 120], "title": "Height"},
        {"id": 7, "kind": "EditText", "bounds": [112, 100, 200, 120], "name": "height"},
        {"id": 105, "kind": "StaticText", "bounds": [0, 120, 104, 140], "title": "Spin (turns/s)"},
        {"id": 8, "kind": "EditText", "bounds": [112, 120, 200, 140], "name": "spin"},
        {"id": 201, "kind": "GroupBox", "bounds": [216, 0, 400, 60], "title": "Colours (a r g b)"},
        {"id": 106, "kind": "StaticText", "bounds": [216, 20, 264, 40], "title": "Centre"},
        {"id": 9, "kind": "ColorButton", "bounds": [272, 20, 392, 40], "name": "innerColor"},
        {"id": 107, "kind": "StaticText", "bounds": [216, 40, 264, 60], "title": "Rim"},
        {"id": 10, "kind": "ColorButton", "bounds": [272, 40, 392, 60], "name": "outerColor"},
        {"id": 108, "kind": "StaticText", "bounds": [216, 80, 400, 140], "title": "Points run from the centre to the rim along each arm; the colour blends between the two."},
        {"id": 2, "kind": "PushButton", "bounds": [200, 180, 296, 200], "title": "Cancel"},
        {"id": 1, "kind": "PushButton", "bounds": [304, 180, 400, 200], "title": "OK"}
      ]
    }
  }
}
