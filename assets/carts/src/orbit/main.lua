-- orbit hop
-- a one-button game: your probe circles a planet on two rings. hop
-- between them with z or x to dodge rocks and catch star shards.

cx = 64
cy = 68
rings = {26, 44}
planet_r = 13

spr_probe = 1
spr_rock = 2
spr_star = 4
spr_moon = 6

snd_out = 0
snd_in = 1
snd_star = 2
snd_crash = 3
snd_level = 4
snd_launch = 5

-- rocks on different rings keep at least this many turns apart, so that
-- there is always time to hop between them
rock_gap = 0.13

star_colours = {1, 5, 6, 13}

function _init()
  cartdata("vexel_orbit_hop")
  best = dget(0)
  frame = 0
  state = "title"
  wait = 0
  shake = 0
  stars = {}
  for i = 1, 60 do
    add(stars, {x = rnd(128), y = rnd(128), c = star_colours[1 + flr(rnd(4))]})
  end
  sparks = {}
  attract()
  music(0, 0, 3)
end

-- behind the title the probe flies by itself past a few rocks and shards
function attract()
  things = {}
  for i = 0, 5 do
    add(things, {kind = "rock", ring = 1 + i % 2, a = i / 6 + 0.05, born = 30,
                 drift = -1 / 1200, turn = i % 2})
  end
  for i = 0, 2 do
    add(things, {kind = "star", ring = 2 - i % 2, a = i / 3 + 0.14, born = 30,
                 drift = -1 / 1200})
  end
  angle = 0.6
  ring = 1
  radius = rings[1]
end

function update_attract()
  angle = (angle + 1 / 600) % 1
  for t in all(things) do
    t.a = (t.a + t.drift) % 1
    local d = ahead(t.a)
    if t.kind == "rock" and t.ring == ring and d > 0 and d < 0.06 then
      ring = 3 - ring
    end
  end
  radius = radius + (rings[ring] - radius) * 0.2
end

function new_game()
  score = 0
  shards = 0
  level = 1
  spin = 1 / 420
  turns = 0
  angle = 0.75
  ring = 1
  radius = rings[1]
  things = {}
  sparks = {}
  spawn_in = 40
  chain = 0
  shake = 0
  flash = 0
  popups = {}
  state = "play"
  sfx(snd_launch)
end

function ring_pos(a, r)
  return cx + cos(a) * r, cy + sin(a) * r
end

-- how far ahead of the probe an angle lies, from -0.5 to 0.5 turns
function ahead(a)
  local d = (a - angle) % 1
  if d > 0.5 then d = d - 1 end
  return d
end

function burst(x, y, c, n, s)
  for i = 1, n do
    local a = rnd(1)
    local v = (0.3 + rnd(1)) * s
    add(sparks, {x = x, y = y, dx = cos(a) * v, dy = sin(a) * v,
                 life = 10 + flr(rnd(20)), c = c})
  end
end

-- a rock may not close both rings at once: nothing on the other ring
-- within rock_gap turns of it
function fair(r, a)
  for t in all(things) do
    if t.kind == "rock" and t.ring ~= r then
      local d = (t.a - a) % 1
      if d > 0.5 then d = 1 - d end
      if d < rock_gap then return false end
    end
  end
  return true
end

-- nothing on ring r close to angle a
function clear_spot(r, a)
  for t in all(things) do
    local d = (t.a - a) % 1
    if d > 0.5 then d = 1 - d end
    if t.ring == r and d < 0.06 then return false end
  end
  return true
end

function spawn()
  -- new things appear on the far side of the planet, ahead of the probe
  local a = angle + 0.42 + rnd(0.16)
  local r = 1 + flr(rnd(2))
  if rnd(1) < 0.3 then
    if not clear_spot(r, a) then r = 3 - r end
    add(things, {kind = "star", ring = r, a = a, born = 0, drift = 0})
  else
    if not fair(r, a) then r = 3 - r end
    if fair(r, a) then
      local drift = 0
      -- from level 3 some rocks drift against the probe
      if level >= 3 and rnd(1) < 0.4 then drift = -spin * 0.35 end
      add(things, {kind = "rock", ring = r, a = a, born = 0, drift = drift,
                   turn = flr(rnd(2))})
      -- sometimes a shard waits just behind a rock on the other ring
      if rnd(1) < 0.35 then
        add(things, {kind = "star", ring = 3 - r, a = a + rock_gap * 0.5,
                     born = 0, drift = drift})
      end
    end
  end
end

function _update60()
  frame = (frame + 1) % 25200
  if wait > 0 then wait = wait - 1 end
  if shake > 0 then shake = shake - 1 end
  for s in all(stars) do
    s.x = s.x - 0.05
    if s.x < 0 then s.x = s.x + 128 end
  end
  for s in all(sparks) do
    s.x = s.x + s.dx
    s.y = s.y + s.dy
    s.dx = s.dx * 0.95
    s.dy = s.dy * 0.95
    s.life = s.life - 1
    if s.life <= 0 then del(sparks, s) end
  end
  if state == "play" then
    update_play()
  else
    if state == "title" then update_attract() end
    if wait == 0 and (btnp(4) or btnp(5)) then new_game() end
  end
end

function update_play()
  if flash > 0 then flash = flash - 1 end
  angle = (angle + spin) % 1

  if btnp(4) or btnp(5) then
    ring = 3 - ring
    if ring == 2 then sfx(snd_out) else sfx(snd_in) end
  end
  -- ease towards the chosen ring
  local target = rings[ring]
  radius = radius + (target - radius) * 0.3
  if abs(target - radius) < 0.3 then radius = target end

  local px, py = ring_pos(angle, radius)
  if frame % 2 == 0 then
    -- a faint exhaust trail
    local bx, by = ring_pos(angle - 0.02, radius)
    add(sparks, {x = bx + rnd(2) - 1, y = by + rnd(2) - 1, dx = 0, dy = 0,
                 life = 12, c = 12})
  end

  spawn_in = spawn_in - 1
  if spawn_in <= 0 then
    spawn()
    spawn_in = max(18, 58 - level * 5) + flr(rnd(20))
  end

  for t in all(things) do
    t.born = min(t.born + 1, 30)
    t.a = (t.a + t.drift) % 1
    local d = ahead(t.a)
    local tx, ty = ring_pos(t.a, rings[t.ring])
    if t.gone then
      t.gone = t.gone + 1
      if t.gone > 20 then del(things, t) end
    elseif d < -0.12 then
      -- passed by: it fades away
      t.gone = 0
      if t.kind == "star" then chain = 0 end
    elseif abs(tx - px) < 6 and abs(ty - py) < 6 and t.born > 10 then
      if t.kind == "star" then
        del(things, t)
        chain = min(chain + 1, 5)
        local gain = 10 * chain
        score = score + gain
        shards = shards + 1
        sfx(snd_star)
        burst(tx, ty, 10, 12, 1.2)
        add(popups, {x = tx, y = ty, t = 40, s = "+" .. gain})
      else
        crash(px, py)
        return
      end
    end
  end

  for p in all(popups) do
    p.t = p.t - 1
    p.y = p.y - 0.3
    if p.t <= 0 then del(popups, p) end
  end

  -- every full turn scores, and every other turn speeds things up
  if angle < spin then
    turns = turns + 1
    score = score + 5 * level
    if turns % 2 == 0 then
      level = level + 1
      spin = min(spin * 1.12, 1 / 200)
      flash = 40
      sfx(snd_level)
    end
  end
end

function crash(px, py)
  state = "over"
  wait = 60
  shake = 20
  burst(px, py, 8, 30, 2)
  burst(px, py, 9, 20, 1.5)
  burst(px, py, 7, 10, 1)
  sfx(snd_crash)
  if score > best then
    best = score
    dset(0, best)
    new_best = true
  else
    new_best = false
  end
end

-- drawing

function shadow_print(s, x, y, c)
  print(s, x + 1, y + 1, 0)
  print(s, x, y, c)
end

function centre_print(s, y, c)
  shadow_print(s, 64 - #s * 2, y, c)
end

function draw_planet()
  local r = planet_r
  circfill(cx, cy, r + 1, 13)
  circfill(cx, cy, r, 1)
  -- lit from the top left: a dithered dusk, then the day side
  fillp(0x5a5a.8)
  circfill(cx - 1, cy - 1, r - 1, 12)
  fillp()
  circfill(cx - 3, cy - 3, r - 3, 12)
  -- continents and an ice cap
  circfill(cx - 6, cy - 3, 3, 11)
  circfill(cx - 3, cy - 7, 2, 11)
  circfill(cx + 2, cy + 1, 3, 11)
  circfill(cx + 3, cy + 2, 1, 3)
  pset(cx - 7, cy - 2, 3)
  line(cx - 4, cy - r + 1, cx + 2, cy - r + 1, 7)
end

function draw_rings()
  for i = 1, 2 do
    local c = 1
    if state == "play" and ring == i then c = 5 end
    circ(cx, cy, rings[i], c)
  end
end

function draw_things()
  for t in all(things) do
    local x, y = ring_pos(t.a, rings[t.ring])
    local show = true
    if t.born < 10 then show = t.born % 4 < 2 end
    if t.gone then
      show = t.gone % 4 < 2
      if t.gone > 12 then pal(5, 1) pal(6, 5) pal(13, 1) pal(10, 9) pal(7, 9) end
    end
    if show then
      if t.kind == "rock" then
        spr(spr_rock + flr((frame / 12 + t.turn)) % 2, x - 4, y - 4)
      else
        spr(spr_star + flr(frame / 6) % 2, x - 4, y - 4)
      end
    end
    pal()
  end
end

function draw_probe()
  local x, y = ring_pos(angle, radius)
  spr(spr_probe, x - 4, y - 3)
end

function _draw()
  cls(0)
  for s in all(stars) do
    pset(s.x, s.y, s.c)
  end
  if shake > 0 then camera(rnd(4) - 2, rnd(4) - 2) end
  draw_rings()
  draw_planet()
  spr(spr_moon, 108, 20)
  draw_things()
  for s in all(sparks) do
    pset(s.x, s.y, s.c)
  end
  if state ~= "over" then draw_probe() end
  camera()

  if state == "title" then
    draw_title()
    return
  end

  for p in all(popups) do
    shadow_print(p.s, p.x - 4, p.y - 10, 10)
  end
  rectfill(0, 0, 127, 8, 1)
  print("score " .. score, 2, 2, 7)
  print("level " .. level, 52, 2, 12)
  local b = "best " .. max(best, score)
  print(b, 127 - #b * 4, 2, 10)
  if state == "play" and flash > 0 and flr(flash / 5) % 2 == 0 then
    centre_print("faster!", 100, 10)
  end
  if state == "over" then draw_over() end
end

function draw_title()
  local w = sin(frame / 120) * 2
  rectfill(22, 12 + w, 105, 30 + w, 1)
  rect(22, 12 + w, 105, 30 + w, 12)
  centre_print("orbit hop", 16 + w, 7)
  centre_print("circle the planet", 23 + w, 12)
  shadow_print("z/x: hop between rings", 20, 104, 6)
  if best > 0 then centre_print("best " .. best, 112, 10) end
  if flr(frame / 30) % 2 == 0 then centre_print("press z or x", 120, 7) end
end

function draw_over()
  rectfill(20, 44, 107, 92, 1)
  rect(20, 44, 107, 92, 8)
  centre_print("lost in the rocks", 49, 8)
  centre_print("score " .. score, 60, 7)
  centre_print("shards " .. shards, 68, 10)
  if new_best then
    centre_print("a new best!", 76, 11)
  else
    centre_print("best " .. best, 76, 6)
  end
  if wait == 0 and flr(frame / 30) % 2 == 0 then
    centre_print("z/x: fly again", 85, 12)
  end
end
