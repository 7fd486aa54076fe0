vec3 shade(vec2 uv) { return 0.5 + 0.5 * cos(vec3(0.0, 2.0, 4.0) + uv.xyx * 3.0); }
