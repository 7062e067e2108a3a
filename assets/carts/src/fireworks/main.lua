-- skyburst
-- a fireworks toy over a harbour town. left/right aim, up/down pick a
-- shell, z launches, hold x for a finale. left alone, it puts on a show.

shells = {"peony", "ring", "willow", "heart", "crossette", "palm", "mixed"}
-- colour ramps from a fresh spark to a dying one
ramps = {
  {7, 10, 9, 8, 2},
  {7, 12, 12, 13, 1},
  {7, 11, 11, 3, 1},
  {7, 14, 14, 8, 2},
  {7, 7, 6, 13, 5},
}
gold = {10, 10, 9, 9, 4}

water_y = 112
max_sparks = 280
idle_show = 240 -- frames without a button before the show starts

snd_launch = 0
snd_boom = 1
snd_crackle = 2
snd_pick = 3
snd_big = 4

-- each pattern clears a quarter of the pixels, so four frames wipe all
-- and what moves leaves a fading trail
fade = {0x7edb.8, 0xb7ed.8, 0xdb7e.8, 0xedb7.8}

function _init()
  frame = 0
  aim = 64
  kind = 1
  show_name = 90
  idle = 0
  auto_in = 0
  rockets = {}
  sparks = {}
  flash = 0
  stars = {}
  for i = 1, 50 do
    add(stars, {x = rnd(128), y = rnd(80), c = 1 + flr(rnd(2)) * 4, p = rnd(1)})
  end
  make_town()
  cls()
  music(0, 0, 3)
end

-- the skyline: houses and towers with a few lit windows, made once
function make_town()
  town = {}
  local x = 0
  srand(7)
  while x < 128 do
    local w = 8 + flr(rnd(4)) * 4
    local h = 6 + flr(rnd(12))
    if rnd(1) < 0.15 then h = h + 10 end
    local lights = {}
    for wy = water_y - h + 3, water_y - 3, 4 do
      for wx = x + 2, x + w - 3, 3 do
        if rnd(1) < 0.35 then add(lights, {x = wx, y = wy, c = 9 + flr(rnd(2))}) end
      end
    end
    add(town, {x = x, w = w, h = h, lights = lights, roof = flr(rnd(3))})
    x = x + w + flr(rnd(2))
  end
  srand(frame + 1)
end

function launch(x, k)
  if k == #shells then k = 1 + flr(rnd(#shells - 1)) end
  add(rockets, {x = x, y = water_y - 4, dx = (64 - x) / 300 + rnd(0.2) - 0.1,
                dy = -1.8 - rnd(0.5), kind = k, ramp = ramps[1 + flr(rnd(#ramps))]})
  sfx(snd_launch)
end

function spark(x, y, dx, dy, life, ramp, drag, fall)
  if #sparks >= max_sparks then return end
  add(sparks, {x = x, y = y, dx = dx, dy = dy, life = life, max = life,
               ramp = ramp, drag = drag, fall = fall})
end

function burst(r)
  local x = r.x
  local y = r.y
  local k = r.kind
  local ramp = r.ramp
  flash = 3
  if k == 1 then
    -- peony: a round ball of sparks
    for i = 1, 48 do
      local a = rnd(1)
      local s = 0.6 + rnd(0.9)
      spark(x, y, cos(a) * s, sin(a) * s, 30 + flr(rnd(20)), ramp, 0.95, 0.02)
    end
  elseif k == 2 then
    -- ring: evenly spaced, all at one speed, with a core
    for i = 0, 29 do
      local a = i / 30
      spark(x, y, cos(a) * 1.5, sin(a) * 1.5, 40, ramp, 0.94, 0.01)
    end
    for i = 1, 8 do
      local a = rnd(1)
      spark(x, y, cos(a) * 0.3, sin(a) * 0.3, 25, ramps[5], 0.95, 0.01)
    end
  elseif k == 3 then
    -- willow: slow gold that droops a long way
    for i = 1, 40 do
      local a = rnd(1)
      local s = 0.4 + rnd(0.8)
      spark(x, y, cos(a) * s, sin(a) * s - 0.3, 70 + flr(rnd(30)), gold, 0.97, 0.025)
    end
  elseif k == 4 then
    -- heart: sparks set out along the curve of a heart
    for i = 0, 39 do
      local t = i / 40
      local hx = sin(t) * sin(t) * sin(t)
      local hy = -(13 * cos(t) - 5 * cos(2 * t) - 2 * cos(3 * t) - cos(4 * t)) / 16
      spark(x, y, hx * 1.6, hy * 1.6, 45, ramps[4], 0.93, 0.005)
    end
  elseif k == 5 then
    -- crossette: a few stars that split into four later
    for i = 0, 5 do
      local a = i / 6 + rnd(0.05)
      add(sparks, {x = x, y = y, dx = cos(a) * 1.3, dy = sin(a) * 1.3, life = 22,
                   max = 22, ramp = ramp, drag = 0.96, fall = 0.02, split = true})
    end
  elseif k == 6 then
    -- palm: a few thick fronds that curl down
    for i = 0, 6 do
      local a = i / 7
      for j = 1, 6 do
        local s = 0.5 + j * 0.2
        spark(x, y, cos(a) * s, sin(a) * s - 0.4, 50 + j * 4, gold, 0.95, 0.03)
      end
    end
  end
  sfx(snd_boom)
end

function _update60()
  frame = (frame + 1) % 25200
  if flash > 0 then flash = flash - 1 end
  if show_name > 0 then show_name = show_name - 1 end

  local any = btn() ~= 0
  if any then idle = 0 else idle = min(idle + 1, 30000) end

  if btn(0) then aim = max(8, aim - 1.5) end
  if btn(1) then aim = min(120, aim + 1.5) end
  if btnp(2) then
    kind = kind % #shells + 1
    show_name = 90
    sfx(snd_pick)
  end
  if btnp(3) then
    kind = (kind - 2) % #shells + 1
    show_name = 90
    sfx(snd_pick)
  end
  if btnp(4) then launch(aim, kind) end
  if btn(5) then
    -- the finale: a shell every few frames, from all along the quay
    if frame % 7 == 0 then launch(16 + rnd(96), #shells) end
    if frame % 60 == 0 then sfx(snd_big) end
  end

  if idle > idle_show then
    auto_in = auto_in - 1
    if auto_in <= 0 then
      launch(20 + rnd(88), #shells)
      auto_in = 20 + flr(rnd(40))
    end
  end

  for r in all(rockets) do
    r.x = r.x + r.dx
    r.y = r.y + r.dy
    r.dy = r.dy + 0.03
    if frame % 2 == 0 then
      spark(r.x, r.y + 2, rnd(0.4) - 0.2, 0.3, 10, gold, 0.9, 0.01)
    end
    if r.dy > -0.5 then
      burst(r)
      del(rockets, r)
    end
  end

  -- backwards, so a dead spark can take the last one's place
  for i = #sparks, 1, -1 do
    local s = sparks[i]
    s.px = s.x
    s.py = s.y
    s.x = s.x + s.dx
    s.y = s.y + s.dy
    s.dx = s.dx * s.drag
    s.dy = s.dy * s.drag + s.fall
    s.life = s.life - 1
    if s.life <= 0 or s.y > water_y + 2 then
      if s.split and s.life <= 0 then
        for j = 0, 3 do
          local a = j / 4 + 0.125
          spark(s.x, s.y, cos(a) * 0.9, sin(a) * 0.9, 25, s.ramp, 0.95, 0.02)
        end
        if frame % 2 == 0 then sfx(snd_crackle) end
      end
      sparks[i] = sparks[#sparks]
      sparks[#sparks] = nil
    end
  end
end

-- drawing

function spark_colour(s)
  -- squared, so a spark keeps its bright colours longer
  local t = 1 - s.life / s.max
  local i = 1 + flr(t * t * #s.ramp)
  return s.ramp[min(i, #s.ramp)]
end

function draw_town()
  for b in all(town) do
    local top = water_y - b.h
    rectfill(b.x, top, b.x + b.w - 1, water_y - 1, 1)
    if b.roof == 1 then
      -- a pointed roof
      for i = 0, flr(b.w / 2) do
        line(b.x + i, top - i / 2, b.x + b.w - 1 - i, top - i / 2, 1)
      end
    elseif b.roof == 2 then
      line(b.x + flr(b.w / 2), top - 6, b.x + flr(b.w / 2), top, 1)
      if frame % 60 < 30 then pset(b.x + flr(b.w / 2), top - 6, 8) end
    end
    for l in all(b.lights) do
      pset(l.x, l.y, l.c)
    end
    -- a burst lights the roofs for a moment
    if flash > 0 then line(b.x, top, b.x + b.w - 1, top, 13) end
  end
end

function draw_water()
  rectfill(0, water_y, 127, 127, 0)
  line(0, water_y, 127, water_y, 5)
  -- the lit windows and the sparks shimmer in the water
  for b in all(town) do
    for l in all(b.lights) do
      local ry = water_y + (water_y - l.y) / 2
      if ry < 128 and (l.x + frame / 8) % 5 < 3 then pset(l.x, ry, 4) end
    end
  end
  for s in all(sparks) do
    local ry = water_y + (water_y - s.y) / 3
    if ry < 128 then pset(s.x + sin(frame / 30 + s.y / 10), ry, spark_colour(s)) end
  end
  for i = 0, 5 do
    local y = water_y + 2 + i * 3
    local x = (frame / 2 + i * 37) % 140 - 10
    line(x, y, x + 6, y, 1)
  end
end

function _draw()
  -- trails fade out over four frames instead of vanishing at once
  fillp(fade[frame % 4 + 1])
  rectfill(0, 0, 127, water_y - 1, 0)
  fillp()
  for s in all(stars) do
    if (frame / 90 + s.p) % 1 < 0.8 then pset(s.x, s.y, s.c) end
  end
  -- the moon
  circfill(110, 30, 7, 6)
  circfill(107, 28, 6, 0)
  pset(113, 32, 7)
  for r in all(rockets) do
    pset(r.x, r.y, 7)
    pset(r.x, r.y + 1, 10)
  end
  for s in all(sparks) do
    local c = spark_colour(s)
    if s.px then
      line(s.px, s.py, s.x, s.y, c)
    end
    -- a fresh spark has a white-hot head
    if s.life > s.max * 0.7 then pset(s.x, s.y, 7) else pset(s.x, s.y, c) end
  end
  draw_town()
  draw_water()

  -- the launcher on the quay
  local ax = flr(aim)
  line(ax, water_y - 5, ax, water_y - 1, 5)
  pset(ax, water_y - 6, 6)
  if idle <= idle_show then
    line(ax - 2, water_y + 1, ax + 2, water_y + 1, 10)
  end

  if show_name > 0 or frame < 240 then
    rectfill(0, 0, 127, 8, 0)
    print("skyburst", 2, 2, 9)
    local s = "up/down: " .. shells[kind]
    print(s, 126 - #s * 4, 2, 7)
  end
  if frame < 240 then
    print("z launch  x finale", 28, 14, 6)
  end
end
